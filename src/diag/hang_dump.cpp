#include "diag/hang_dump.h"

#include <windows.h>

#include <dbghelp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

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

void DeleteOldDumps(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search =
        FindFirstFileA(JoinPath(folder, DumpPrefix(ServiceSettings.ServiceName) + "*.dmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    for (const std::string& name : DumpsToDelete(ServiceSettings.ServiceName, names)) {
        DeleteFileA(JoinPath(folder, name).c_str());
    }
}

}  // namespace

std::string DumpFileName(const char* serviceName, unsigned year, unsigned month, unsigned day, unsigned hour,
                         unsigned minute, unsigned second) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u.dmp", year % 10000, month % 100, day % 100,
                  hour % 100, minute % 100, second % 100);
    return DumpPrefix(serviceName) + stamp;
}

std::vector<std::string> DumpsToDelete(const char* serviceName, std::vector<std::string> fileNames) {
    const std::string prefix = DumpPrefix(serviceName);
    fileNames.erase(std::remove_if(fileNames.begin(), fileNames.end(),
                                   [&](const std::string& name) { return !IsDumpOf(prefix, name); }),
                    fileNames.end());
    // The time stamp sorts as it ran: the oldest come first.
    std::sort(fileNames.begin(), fileNames.end());
    if (fileNames.size() <= kDumpsKept) return {};
    fileNames.resize(fileNames.size() - kDumpsKept);
    return fileNames;
}

void WriteHangDump() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string folder = LogFolder();
    DumpJob* job = new DumpJob();  // never freed: the process ends right after
    job->path = JoinPath(folder, DumpFileName(ServiceSettings.ServiceName, now.wYear, now.wMonth, now.wDay,
                                              now.wHour, now.wMinute, now.wSecond));
    job->error = ERROR_TIMEOUT;
    const HANDLE thread = CreateThread(nullptr, 0, RunDumpJob, job, 0, nullptr);
    if (thread == nullptr) {
        job->error = static_cast<LONG>(GetLastError());
    } else {
        WaitForSingleObject(thread, kDumpTimeLimitMs);
        CloseHandle(thread);
    }
    const DWORD error = static_cast<DWORD>(job->error);
    if (error == 0) {
        WriteLogLine(("Memory dump written to " + job->path).c_str());
        DeleteOldDumps(folder);
    } else {
        WriteLogLine(("Memory dump could not be written (error " + std::to_string(error) + ")").c_str());
    }
}
