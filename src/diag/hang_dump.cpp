#include "diag/hang_dump.h"

#include <windows.h>

#include <dbghelp.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/service_settings.h"
#include "common/win_handles.h"
#include "diag/log_file.h"

namespace {

typedef BOOL(WINAPI* MiniDumpWriteDumpFunction)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION,
                                                PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

// "<service>-" and the length of what follows it in a dump's name: "yyyymmdd-hhmmss.dmp".
std::string DumpPrefix(const char* serviceName) {
    std::string prefix = serviceName;
    for (char& c : prefix) {
        if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/\\|?*", c) != nullptr) c = '_';
    }
    return prefix + "-";
}
const std::size_t kStampAndExtensionLength = 19;

bool IsDumpOf(const std::string& prefix, const std::string& name) {
    if (name.size() != prefix.size() + kStampAndExtensionLength || name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (std::size_t i = 0; i < 15; ++i) {
        const char c = name[prefix.size() + i];
        if (i == 8 ? c != '-' : (c < '0' || c > '9')) return false;
    }
    return name.compare(prefix.size() + 15, 4, ".dmp") == 0;
}

// The folder of the log file, as a full path (a relative log file lies in the current
// folder, the application's working folder).
std::string LogFolder() {
    char full[MAX_PATH] = {0};
    char* namePart = nullptr;
    const DWORD length = GetFullPathNameA(ServiceSettings.LogFileName, MAX_PATH, full, &namePart);
    if (length == 0 || length >= MAX_PATH || namePart == nullptr || namePart == full) return ".";
    std::string folder(full, static_cast<std::size_t>(namePart - full));
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();  // "C:\" keeps its backslash
    return folder;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// The job of the thread that writes the dump; it outlives the wait for it, since the
// thread may still be writing when the process ends.
struct DumpJob {
    std::string path;
    volatile LONG error;
};

DWORD WriteDump(const std::string& path) {
    char systemFolder[MAX_PATH] = {0};
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return GetLastError();
    // Never by bare name: the application's folders are on the DLL search path.
    const HMODULE dbghelp =
        LoadLibraryExA(JoinPath(systemFolder, "dbghelp.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (dbghelp == nullptr) return GetLastError();
    const MiniDumpWriteDumpFunction writeDump = reinterpret_cast<MiniDumpWriteDumpFunction>(
        reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    if (writeDump == nullptr) return GetLastError();
    DWORD error = 0;
    {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return GetLastError();
        if (writeDump(GetCurrentProcess(), GetCurrentProcessId(), file.get(), MiniDumpNormal, nullptr, nullptr,
                      nullptr)) {
            return 0;
        }
        error = GetLastError();
    }
    DeleteFileA(path.c_str());  // half a dump opens in no debugger
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

DWORD WINAPI RunDumpJob(LPVOID parameter) {
    DumpJob* job = static_cast<DumpJob*>(parameter);
    InterlockedExchange(&job->error, static_cast<LONG>(WriteDump(job->path)));
    return 0;
}

// Deletes the oldest dumps of the service in the folder until kDumpsKept are left.  The
// time stamp in the names sorts as time runs.
void DeleteOldDumps(const std::string& folder) {
    const std::string prefix = DumpPrefix(ServiceSettings.ServiceName);
    for (;;) {
        unsigned count = 0;
        std::string oldest;
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA(JoinPath(folder, prefix + "*.dmp").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            const std::string name = found.cFileName;
            if (!IsDumpOf(prefix, name)) continue;
            ++count;
            if (oldest.empty() || name < oldest) oldest = name;
        } while (FindNextFileA(search, &found));
        FindClose(search);
        if (count <= kDumpsKept || !DeleteFileA(JoinPath(folder, oldest).c_str())) return;
    }
}

// The dump's file name for the local time.
std::string DumpFileName(const SYSTEMTIME& now) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u.dmp", now.wYear % 10000u, now.wMonth % 100u,
                  now.wDay % 100u, now.wHour % 100u, now.wMinute % 100u, now.wSecond % 100u);
    return DumpPrefix(ServiceSettings.ServiceName) + stamp;
}

}  // namespace

void WriteHangDump() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string folder = LogFolder();
    DumpJob* job = new DumpJob();  // never freed: the process ends right after
    job->path = JoinPath(folder, DumpFileName(now));
    job->error = ERROR_TIMEOUT;
    const HANDLE thread = CreateThread(nullptr, 0, RunDumpJob, job, 0, nullptr);
    if (thread == nullptr) {
        job->error = static_cast<LONG>(GetLastError());
    } else {
        WaitForSingleObject(thread, kDumpTimeLimitMs);
        CloseHandle(thread);
    }
    const DWORD error = static_cast<DWORD>(job->error);
    char text[2 * MAX_PATH + 64];  // the folder, the service name and the time stamp
    if (error == 0) {
        std::snprintf(text, sizeof text, "Memory dump written to %s", job->path.c_str());
        WriteLogLine(text);
        DeleteOldDumps(folder);
    } else {
        std::snprintf(text, sizeof text, "Memory dump could not be written (error %lu)", error);
        WriteLogLine(text);
    }
}
