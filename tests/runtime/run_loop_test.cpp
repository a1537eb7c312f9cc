// The run loop: of_run called on the schedule it returns, and the service's end.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "kit/product.h"
#include "kit/services.h"
#include "runtime/hosted_service.h"

namespace runtime_test {
namespace {

TEST(RunLoop, ZeroFromTheFirstRunStopsTheServiceCleanly) {
    HostedService service;
    HostedClass hosted;
    hosted.run = "returns 0";
    service.Install(hosted);
    EXPECT_EQ(service.Start(), "Start service successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
    const SERVICE_STATUS_PROCESS status = service.Status();
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(service.Calls("InvokeBegin", "of_run").size(), 1u);
    const auto stops = service.Calls("InvokeBegin", "of_stop");
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].Field(4), "false") << "a stop that of_run asked for is no shutdown";
    const auto journal = service.Journal();
    EXPECT_EQ(journal.back().operation, "detach") << "the VM DLL is unloaded at the end";
}

// Start-to-start times of of_run, from the stand-in's journal.
std::vector<double> Periods(const HostedService& service) {
    const auto calls = service.Calls("InvokeBegin", "of_run");
    std::vector<double> periods;
    for (size_t i = 1; i < calls.size(); ++i) periods.push_back(calls[i].ms - calls[i - 1].ms);
    return periods;
}

TEST(RunLoop, NextCallStartsOnePeriodAfterThePreviousStartWhateverControlsCome) {
    HostedService service;
    HostedClass hosted;
    hosted.run = "returns 200 takes 80";  // the wait is the period less the call
    service.Install(hosted);
    EXPECT_EQ(service.Start(), "Start service successful!\r\n");
    // Controls served between the calls, on the loop's thread, must not shift them.
    ASSERT_TRUE(service.WaitForCalls("InvokeBegin", "of_run", 1));
    unsigned sent = 0;
    for (const DWORD start = GetTickCount(); service.Calls("InvokeBegin", "of_run").size() < 8;) {
        ASSERT_LT(GetTickCount() - start, 15000u);
        EXPECT_EQ(kit::SendControl(service.name(), 200), 0u);
        ++sent;
        Sleep(40);
    }
    ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_control", sent));
    const std::vector<double> periods = Periods(service);
    // Tolerance: Wine's waits overshoot by about a millisecond, Windows by up to a clock
    // tick (16 ms), and the loop starts a call at most half a millisecond before it is
    // due.  The journal's times are taken when the VM writes its line, a little after the
    // host read its clock, so a busy machine can make one period look a few ms short.
    for (double period : periods) {
        EXPECT_GE(period, 190.0);
        EXPECT_LE(period, 240.0);
    }
    double total = 0;
    for (double p : periods) total += p;
    EXPECT_NEAR(total / periods.size(), 200.0, 10.0) << "no drift from the call's own time";
}

TEST(RunLoop, CallLongerThanItsPeriodIsFollowedAtOnce) {
    HostedService service;
    HostedClass hosted;
    hosted.run = "returns 50 takes 150";
    service.Install(hosted);
    EXPECT_EQ(service.Start(), "Start service successful!\r\n");
    ASSERT_TRUE(service.WaitForCalls("InvokeBegin", "of_run", 4));
    const auto begins = service.Calls("InvokeBegin", "of_run");
    const auto ends = service.Calls("InvokeEnd", "of_run");
    for (size_t i = 1; i < begins.size() && i <= ends.size(); ++i) {
        EXPECT_LT(begins[i].ms - ends[i - 1].ms, 30.0) << "call " << i + 1 << " waited";
    }
}

// Waits for the service's process to end; true when it did.
bool ProcessEnds(DWORD processId, DWORD timeoutMs) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) return true;  // already gone
    const DWORD wait = WaitForSingleObject(process, timeoutMs);
    CloseHandle(process);
    return wait == WAIT_OBJECT_0;
}

TEST(RunLoop, FailedRunEndsTheProcessWithoutStopping) {
    struct Case {
        const char* run;
        std::vector<std::string> events;
    } cases[] = {
        {"returns 100 -1",
         {"4:40000001:PBNI Interface Initialized", "4:40000001:Service started",
          "1:C0000003:Service ended after of_run failed"}},
        {"returns 100 fail",
         {"4:40000001:PBNI Interface Initialized", "4:40000001:Service started",
          "1:C0000003:InvokeObjectFunction failed for of_run",
          "1:C0000003:Service ended after of_run failed"}},
    };
    for (const Case& c : cases) {
        HostedService service("PbvmRunFail");
        HostedClass hosted;
        hosted.run = c.run;
        service.Install(hosted);
        EXPECT_EQ(service.Start(), "Start service successful!\r\n");
        ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
        const DWORD processId = service.Status().dwProcessId;
        ASSERT_NE(processId, 0u);
        // Wine keeps showing a service whose process ended as running, so the test
        // watches the process itself; Windows would show it stopped and restart it.
        EXPECT_TRUE(ProcessEnds(processId, 10000)) << c.run;
        EXPECT_EQ(service.Events(c.events.size()), c.events) << c.run;
        const std::string log = service.Log();
        EXPECT_EQ(log.substr(log.size() - 35), "Service ended after of_run failed\r\n");
        EXPECT_TRUE(service.Calls("InvokeBegin", "of_stop").empty());
        EXPECT_EQ(service.Calls("InvokeBegin", "of_run").size(), 2u);
        for (const JournalEntry& entry : service.Journal()) {
            EXPECT_NE(entry.operation, "ReleaseSession");
            EXPECT_NE(entry.operation, "detach") << "ended at once, nothing unloaded";
        }
    }
}

}  // namespace
}  // namespace runtime_test
