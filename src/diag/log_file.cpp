#include "diag/log_file.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "common/service_settings.h"
#include "common/win_handles.h"

namespace {

// How long a writer waits for its turn at the log file before it writes anyway, and how
// long it sleeps between two tries while another writer has the turn.
const DWORD kLogTurnWaitMs = 5000;
const DWORD kLogTurnRetryMs = 1;

// The writers of one log file, in every process, take turns through a lock on one byte
// of the file far beyond any data it will ever hold.  Windows appends atomically and
// would not need it; Wine 8 appends by writing at the end of the file as it looked the
// size up itself, so two processes appending at the same moment overwrite each other's
// lines.  The lock belongs to the file itself, whatever path names it, and only those
// who may open the log can take it.  It is held only around the one write and goes with
// the handle, so a writer that dies holding it does not hold up the others.  A
// diagnostic never blocks or fails its caller: when the turn does not come within the
// wait, or the platform refuses the lock, the line is written without it.
class LogTurn {
public:
    explicit LogTurn(HANDLE file) : file_(file) {
        const DWORD start = GetTickCount();
        for (;;) {
            OVERLAPPED region = Region();
            if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region)) {
                owned_ = true;
                return;
            }
            if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount() - start >= kLogTurnWaitMs) return;
            Sleep(kLogTurnRetryMs);
        }
    }
    ~LogTurn() {
        if (!owned_) return;
        OVERLAPPED region = Region();
        UnlockFileEx(file_, 0, 1, 0, &region);
    }
    LogTurn(const LogTurn&) = delete;
    LogTurn& operator=(const LogTurn&) = delete;

private:
    static OVERLAPPED Region() {
        OVERLAPPED region = {};
        region.Offset = kLogTurnOffsetLow;
        region.OffsetHigh = kLogTurnOffsetHigh;
        return region;
    }
    HANDLE file_;
    bool owned_ = false;
};

}  // namespace

void WriteLogLine(const char* text) {
    if (ServiceSettings.LogFileName[0] == '\0') return;

    // Append access only: each write lands at the end of the file as it is at that
    // moment, whoever else appended in between.  Sharing read and delete as well as
    // write lets an administrator keep the log open in a viewer without lines being lost.
    UniqueFile file(CreateFileA(ServiceSettings.LogFileName, FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;

    // Text and line end go out in one write, so that two writers appending at the same
    // time can interleave only whole lines.
    std::string line(text);
    line.append("\r\n", 2);
    DWORD written = 0;
    const LogTurn turn(file.get());
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
