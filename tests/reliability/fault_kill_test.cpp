// The service's process killed from outside (TerminateProcess, as a task manager or an
// out-of-memory killer would): what the Service Control Manager shows, whether the
// service starts again, and whether its log file stays whole.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/services.h"
#include "reliability/load_support.h"
#include "runtime/hosted_service.h"

namespace reliability_test {
namespace {

using runtime_test::HostedClass;
using runtime_test::HostedService;
using runtime_test::JournalEntry;

// StartServiceA straight from the test: under Wine the way to start a service whose
// process died without a stop report (the product's -start sees it running and refuses).
bool StartThroughManager(const std::string& name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return false;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_START);
    const bool started = service != nullptr && StartServiceA(service, 0, nullptr);
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return started;
}

// What the manager shows for a service whose process was killed, and the start after it.
// Windows notices the end of the process: STOPPED with 1067 (the process ended
// unexpectedly), and -start starts it again.  Wine's manager does not notice (the state
// stays what the process last reported, WINE-NOTES 1.5), so -start refuses; starting the
// stale service through the manager launches a new process.
void ExpectKilledAndStartAgain(const HostedService& service, DWORD lastReportedState) {
    if (kit::RunningUnderWine()) {
        Sleep(500);  // time enough for a manager that noticed to say so
        EXPECT_EQ(service.State(), lastReportedState);
        EXPECT_EQ(service.Start(), "Service command failed - service is already running!\r\n");
        ASSERT_TRUE(StartThroughManager(service.name()));
    } else {
        ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
        EXPECT_EQ(service.Status().dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
        EXPECT_EQ(service.Start(), "Start service successful!\r\n");
    }
}

DWORD WaitForNewProcess(const HostedService& service, DWORD old, unsigned timeoutMs = 15000) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD pid = service.Status().dwProcessId;
        if (pid != 0 && pid != old) return pid;
        if (GetTickCount() - start > timeoutMs) return 0;
        Sleep(20);
    }
}

std::vector<std::string> Fields(const std::vector<JournalEntry>& entries, size_t field) {
    std::vector<std::string> values;
    for (const JournalEntry& entry : entries) values.push_back(entry.Field(field));
    return values;
}

std::vector<JournalEntry> Operations(const HostedService& service, const std::string& operation) {
    std::vector<JournalEntry> found;
    for (const JournalEntry& entry : service.Journal()) {
        if (entry.operation == operation) found.push_back(entry);
    }
    return found;
}

TEST(FaultKill, KilledMidRunStartsAgainAndItsLogStaysWhole) {
    HostedService service("PbvmKill");
    HostedClass hosted;
    hosted.run = "returns 100 takes 50";
    service.Install(hosted);
    ASSERT_EQ(service.Start(), "Start service successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
    ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_run", 3));
    const DWORD first = service.Status().dwProcessId;
    ASSERT_EQ(ProcessesIn(service.folder()), std::vector<DWORD>{first});

    ASSERT_TRUE(KillProcess(first));
    EXPECT_TRUE(ProcessesIn(service.folder()).empty());
    ExpectKilledAndStartAgain(service, SERVICE_RUNNING);

    // A new process starts the object again and runs it.
    const DWORD second = WaitForNewProcess(service, first);
    ASSERT_NE(second, 0u);
    ASSERT_TRUE(service.WaitForCalls("InvokeBegin", "of_startup", 2));
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
    const size_t runs = service.Calls("InvokeEnd", "of_run").size();
    ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_run", runs + 2));
    EXPECT_EQ(ProcessesIn(service.folder()), std::vector<DWORD>{second});

    EXPECT_EQ(service.Run({"-stop", service.name()}), "Service command successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(service.Status().dwWin32ExitCode, 0u);
    ASSERT_TRUE(WaitForNoProcessIn(service.folder(), 10000));

    // Two processes attached the VM; only the second stopped the object and unloaded it.
    EXPECT_EQ(Fields(Operations(service, "attach"), 0),
              (std::vector<std::string>{std::to_string(first), std::to_string(second)}));
    EXPECT_EQ(Fields(Operations(service, "detach"), 0), std::vector<std::string>{std::to_string(second)});
    EXPECT_EQ(Fields(Operations(service, "detach"), 1), std::vector<std::string>{"unload"});
    EXPECT_EQ(service.Calls("InvokeBegin", "of_startup").size(), 2u);
    EXPECT_EQ(service.Calls("InvokeBegin", "of_stop").size(), 1u);

    // The log: the start-up lines of each process, every line whole.
    bool whole = false;
    const std::vector<std::string> lines = SplitLogLines(service.Log(), &whole);
    EXPECT_TRUE(whole);
    std::vector<std::string> expected = service.StartUpLogLines();
    for (const std::string& line : service.StartUpLogLines()) expected.push_back(line);
    EXPECT_EQ(lines, expected);

    EXPECT_EQ(service.Events(5), (std::vector<std::string>{"4:40000001:PBNI Interface Initialized",
                                                          "4:40000001:Service started",
                                                          "4:40000001:PBNI Interface Initialized",
                                                          "4:40000001:Service started",
                                                          "4:40000001:Service stopped"}));
}

// The process is killed while it writes its start-up lines (a list file of many
// libraries makes that a long stretch), several times over.  No line may be torn: each
// kill can only end the log between two whole lines, and the next start appends after.
TEST(FaultKill, KilledWhileWritingItsLogLeavesOnlyWholeLines) {
    const unsigned kills = LoadSize("PBVMSVC_LOAD_KILLS", 3, 20);
    const int libraries = 1500;
    HostedService service("PbvmKillLog");
    HostedClass hosted;
    service.Install(hosted);
    std::string list = service.folder() + "\\app.pbl";
    std::vector<std::string> startUp = {"LibList: From File",
                                        "Library Count: " + std::to_string(libraries),
                                        service.folder() + "\\app.pbl"};
    for (int i = 1; i < libraries; ++i) {
        const std::string name = service.folder() + "\\lib" + std::to_string(i) + ".pbd";
        list += ";" + name;
        startUp.push_back(name);
    }
    ASSERT_TRUE(kit::WriteWholeFile(service.folder() + "\\libraries.txt", list));
    service.Run({"-l", service.name(), service.folder() + "\\libraries.txt"});

    DWORD pid = 0;
    for (unsigned kill = 1; kill <= kills; ++kill) {
        const size_t logBefore = service.Log().size();
        if (kill == 1) {
            ASSERT_EQ(service.Start(), "Start service successful!\r\n");
        } else {
            ExpectKilledAndStartAgain(service, SERVICE_START_PENDING);
        }
        pid = WaitForNewProcess(service, pid);
        ASSERT_NE(pid, 0u) << "kill " << kill;
        // Kill it as soon as this start has written anything.
        const DWORD start = GetTickCount();
        while (service.Log().size() == logBefore && GetTickCount() - start < 15000) Sleep(1);
        ASSERT_TRUE(KillProcess(pid)) << "kill " << kill;
        bool whole = false;
        const std::vector<std::string> lines = SplitLogLines(service.Log(), &whole);
        ASSERT_TRUE(whole) << "kill " << kill;
    }
    // The last start runs to the end; the service then stops normally.
    ExpectKilledAndStartAgain(service, SERVICE_START_PENDING);
    ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_run", 1, 30000));
    EXPECT_EQ(service.Run({"-stop", service.name()}), "Service command successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
    ASSERT_TRUE(WaitForNoProcessIn(service.folder(), 10000));

    // Each killed start left a beginning of the start-up lines, the last one all of them.
    bool whole = false;
    const std::vector<std::string> lines = SplitLogLines(service.Log(), &whole);
    EXPECT_TRUE(whole);
    startUp.push_back("Before CreateSession");
    startUp.push_back("After CreateSession");
    startUp.push_back("PBNI Interface Initialized");
    size_t at = 0;
    unsigned runs = 0, cut = 0;
    while (at < lines.size()) {
        ASSERT_EQ(lines[at], startUp[0]) << "line " << at << ": each start begins anew";
        size_t k = 0;
        while (at < lines.size() && k < startUp.size() && (k == 0 || lines[at] != startUp[0])) {
            ASSERT_EQ(lines[at], startUp[k]) << "line " << at;
            ++at;
            ++k;
        }
        ++runs;
        cut += k < startUp.size() ? 1 : 0;
        if (at == lines.size()) {
            EXPECT_EQ(k, startUp.size()) << "the last start is complete";
        }
    }
    EXPECT_EQ(runs, kills + 1);
    EXPECT_EQ(cut, kills) << "every kill fell inside the start-up lines";
    EXPECT_EQ(service.Calls("InvokeBegin", "of_stop").size(), 1u);
}

}  // namespace
}  // namespace reliability_test
