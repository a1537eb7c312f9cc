// Shared by the load and fault tests: sizes that an environment variable can raise to
// the full figures, the processes of the test's own services, and whole-line checks of
// a log file.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace reliability_test {

// The size of a load test: the value of the environment variable when it holds a
// positive number, else fullSize when PBVMSVC_LOAD_FULL is 1, else suiteSize.
unsigned LoadSize(const char* variable, unsigned suiteSize, unsigned fullSize);

struct ProcessEntry {
    DWORD pid = 0;
    DWORD parent = 0;
    std::string image;  // full path; empty when the process cannot be opened
};

// Every process the system (under Wine: this prefix's wineserver) lists right now.
std::vector<ProcessEntry> ListProcesses();

// The processes whose image lies in the folder (compared without regard to case).
std::vector<DWORD> ProcessesIn(const std::string& folder);

// The images of the processes whose parent is one of the processes given (Wine names
// the process that started a console host or a debugger as its parent, and keeps the
// number after that process has ended), less those in earlier: Wine hands out numbers
// again soon, so a process older than the parents (services.exe, whose own parent ended
// long ago) can name a number that one of them had.
std::vector<std::string> ChildrenOf(const std::set<DWORD>& parents, const std::set<DWORD>& earlier);

// The numbers of the processes that run now.
std::set<DWORD> RunningProcessIds();

// Waits until no process runs from the folder; false when one still does after timeoutMs.
bool WaitForNoProcessIn(const std::string& folder, unsigned timeoutMs);

// The lines of a log file's text without their CR LF.  Sets *whole to false when any
// line is not ended by CR LF (a torn or partial line) or holds a lone CR or LF.
std::vector<std::string> SplitLogLines(const std::string& text, bool* whole);

// Terminates the process (as an administrator's task manager would) and waits for it
// to be gone; false when it could not be opened, terminated or did not end in time.
bool KillProcess(DWORD pid, unsigned timeoutMs = 10000);

}  // namespace reliability_test
