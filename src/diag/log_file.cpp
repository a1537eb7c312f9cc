#include "diag/log_file.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "cli/settings.h"
#include "common/win_handles.h"

namespace {

bool Batching = false;
HANDLE BatchFile = INVALID_HANDLE_VALUE;

HANDLE OpenLogFile() {
    // Append access only: each write lands at the end of the file as it is at that
    // moment, whoever else appended in between.  Sharing read and delete as well as
    // write lets an administrator keep the log open in a viewer without lines being lost.
    return CreateFileA(ServiceSettings.LogFileName, FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// How long a writer waits for its turn at the log file before it writes anyway.
const DWORD kLogTurnWaitMs = 5000;

// The writers of one log file, in every process, take turns through a named mutex that
// belongs to the file.  Windows appends atomically and would not need it; Wine 8
// appends by writing at the end of the file as it looked the size up itself, so two
// processes appending at the same moment overwrite each other's lines.  The mutex is
// held only around the one write.  A diagnostic never blocks or fails its caller: when
// the mutex cannot be had within the wait, or not created at all, the line is written
// without it.  A mutex left behind by a writer that died holding it is taken over.
class LogTurn {
public:
    explicit LogTurn(const char* path) {
        const std::string name = LogLockName(path);
        // Global\ reaches every session; creating a global object takes a privilege that
        // services and administrators hold.  Without it the session's own must do.
        mutex_ = CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str());
        if (mutex_ == nullptr) mutex_ = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
        if (mutex_ == nullptr) return;
        const DWORD wait = WaitForSingleObject(mutex_, kLogTurnWaitMs);
        owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~LogTurn() {
        if (owned_) ReleaseMutex(mutex_);
        if (mutex_ != nullptr) CloseHandle(mutex_);
    }
    LogTurn(const LogTurn&) = delete;
    LogTurn& operator=(const LogTurn&) = delete;

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

void AppendLine(HANDLE file, const char* text) {
    // Text and line end go out in one write, so that two writers appending at the same
    // time can interleave only whole lines.
    std::string line(text);
    line.append("\r\n", 2);
    DWORD written = 0;
    const LogTurn turn(ServiceSettings.LogFileName);
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

std::string LogLockName(const char* path) {
    // Paths are compared without regard to case, and a relative one names the file that
    // its full path names.  Mutex names cannot hold a backslash after the namespace, and
    // a path can be longer than a name may be: the name carries a hash of the path.
    char full[MAX_PATH * 2] = {0};
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) {
        length = static_cast<DWORD>(std::strlen(path));
        if (length >= sizeof full) length = sizeof full - 1;
        std::memcpy(full, path, length);
    }
    char upper[MAX_PATH * 2] = {0};
    int upperLength = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, full,
                                   static_cast<int>(length), upper, sizeof upper);
    if (upperLength <= 0) {
        std::memcpy(upper, full, length);
        upperLength = static_cast<int>(length);
    }
    unsigned long long hash = 14695981039346656037ull;  // FNV-1a, 64 bits
    for (int i = 0; i < upperLength; ++i) {
        hash ^= static_cast<unsigned char>(upper[i]);
        hash *= 1099511628211ull;
    }
    // Sixteen upper-case hex digits, written out here: a printf would bring MinGW's
    // formatter (some 30 KB) into the program.
    std::string name = "pbvmsvc-log-";
    for (int shift = 60; shift >= 0; shift -= 4) name += "0123456789ABCDEF"[(hash >> shift) & 0xF];
    return name;
}

void WriteLogLine(const char* text) {
    if (ServiceSettings.LogFileName[0] == '\0') return;
    if (Batching) {
        if (BatchFile == INVALID_HANDLE_VALUE) BatchFile = OpenLogFile();
        if (BatchFile != INVALID_HANDLE_VALUE) AppendLine(BatchFile, text);
        return;
    }
    UniqueFile file(OpenLogFile());
    if (file) AppendLine(file.get(), text);
}

LogFileBatch::LogFileBatch() { Batching = true; }

LogFileBatch::~LogFileBatch() {
    Batching = false;
    if (BatchFile != INVALID_HANDLE_VALUE) CloseHandle(BatchFile);
    BatchFile = INVALID_HANDLE_VALUE;
}
