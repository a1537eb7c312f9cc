#include "reliability/load_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>

#include "kit/product.h"

namespace reliability_test {

namespace {

std::string Upper(std::string text) {
    CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool InFolder(const std::string& image, const std::string& folder) {
    const std::string prefix = Upper(folder) + "\\";
    return Upper(image).compare(0, prefix.size(), prefix) == 0;
}

std::string ImageOf(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return std::string();
    char path[MAX_PATH * 2] = {0};
    DWORD size = sizeof path;
    const BOOL ok = QueryFullProcessImageNameA(process, 0, path, &size);
    CloseHandle(process);
    return ok ? std::string(path, size) : std::string();
}

}  // namespace

unsigned LoadSize(const char* variable, unsigned suiteSize, unsigned fullSize) {
    char value[32] = {0};
    if (GetEnvironmentVariableA(variable, value, sizeof value) > 0) {
        const long n = std::strtol(value, nullptr, 10);
        if (n > 0) return static_cast<unsigned>(n);
    }
    if (GetEnvironmentVariableA("PBVMSVC_LOAD_FULL", value, sizeof value) > 0 &&
        std::string(value) == "1") {
        return fullSize;
    }
    return suiteSize;
}

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return processes;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        ProcessEntry process;
        process.pid = entry.th32ProcessID;
        process.parent = entry.th32ParentProcessID;
        process.image = ImageOf(entry.th32ProcessID);
        processes.push_back(process);
    }
    CloseHandle(snapshot);
    return processes;
}

std::vector<DWORD> ProcessesIn(const std::string& folder) {
    std::vector<DWORD> pids;
    for (const ProcessEntry& process : ListProcesses()) {
        if (InFolder(process.image, folder)) pids.push_back(process.pid);
    }
    return pids;
}

std::vector<std::string> ChildrenOf(const std::set<DWORD>& parents, const std::set<DWORD>& earlier) {
    std::vector<std::string> images;
    for (const ProcessEntry& process : ListProcesses()) {
        if (parents.count(process.parent) != 0 && earlier.count(process.pid) == 0) images.push_back(process.image);
    }
    return images;
}

std::set<DWORD> RunningProcessIds() {
    std::set<DWORD> pids;
    for (const ProcessEntry& process : ListProcesses()) pids.insert(process.pid);
    return pids;
}

bool WaitForNoProcessIn(const std::string& folder, unsigned timeoutMs) {
    const DWORD start = GetTickCount();
    while (!ProcessesIn(folder).empty()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

std::vector<std::string> SplitLogLines(const std::string& text, bool* whole) {
    std::vector<std::string> lines;
    *whole = true;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            *whole = false;  // the last line has no CR LF: written only in part
            lines.push_back(text.substr(start));
            break;
        }
        const std::string line = text.substr(start, end - start);
        if (line.find_first_of("\r\n") != std::string::npos) *whole = false;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

bool KillProcess(DWORD pid, unsigned timeoutMs) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return false;
    const bool ended = TerminateProcess(process, 9) &&
                       WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

}  // namespace reliability_test
