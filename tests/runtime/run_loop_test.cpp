// The run loop: of_run called on the schedule it returns, and the service's end.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "kit/events.h"
#include "kit/files.h"
#include "kit/product.h"
#include "kit/services.h"
#include "runtime/run_schedule.h"
#include "runtime/hosted_service.h"

namespace runtime_test {
namespace {

TEST(RunLoop, ZeroFromTheFirstRunStopsTheServiceCleanly) {
    HostedService service;
    HostedClass hosted;
    hosted.run = "returns 0";
    service.Install(hosted);
    EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");
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
    hosted.run = "returns 200 takes 120";  // the wait is the period less the call
    service.Install(hosted);
    EXPECT_EQ(service.Start(), "Start service successful!\r\n");
    // Controls served between the calls, on the loop's thread, must not shift them.
    ASSERT_TRUE(service.WaitForCalls("InvokeBegin", "of_run", 1));
    unsigned sent = 0;
    for (const DWORD start = GetTickCount(); service.Calls("InvokeBegin", "of_run").size() < 8;) {
        ASSERT_LT(GetTickCount() - start, 30000u);
        EXPECT_EQ(kit::SendControl(service.name(), 200), 0u);
        ++sent;
        Sleep(40);
    }
    ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_control", sent));
    std::vector<double> periods = Periods(service);
    // The bounds tell the right schedule (200 ms) from the wrong ones, a full period after
    // the call (320 ms) or none (120 ms), and leave room for a busy machine, which can
    // delay a call or the VM's journal line now and then; precise figures are the
    // benchmark's business.
    for (double period : periods) EXPECT_GE(period, 100.0);
    std::sort(periods.begin(), periods.end());
    const double median = periods[periods.size() / 2];
    EXPECT_GE(median, 160.0) << "the loop waits for the period";
    EXPECT_LE(median, 280.0) << "the call's own time counts in the period";
}

TEST(RunLoop, CallLongerThanItsPeriodIsFollowedAtOnce) {
    HostedService service;
    HostedClass hosted;
    hosted.run = "returns 400 takes 500";
    service.Install(hosted);
    EXPECT_EQ(service.Start(), "Start service successful!\r\n");
    ASSERT_TRUE(service.WaitForCalls("InvokeBegin", "of_run", 4));
    const auto begins = service.Calls("InvokeBegin", "of_run");
    const auto ends = service.Calls("InvokeEnd", "of_run");
    // A loop that waited anyway would wait the whole 400 ms period.
    for (size_t i = 1; i < begins.size() && i <= ends.size(); ++i) {
        EXPECT_LT(begins[i].ms - ends[i - 1].ms, 200.0) << "call " << i + 1 << " waited";
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

// The schedule against simulated clocks whose waits end late by a fixed, a changing or
// now and then a large amount (up to a millisecond on average: lateness beyond that the
// rule does not let a call take back): 200 calls of 10 ms every 50 ms keep time, the
// lateness never adds up, and no call starts a whole millisecond before one period after
// the previous one.
TEST(RunSchedule, KeepsTimeWhereWaitsEndLateAndNeverStartsAWholeMillisecondEarly) {
    struct Machine {
        const char* label;
        double (*waitEnds)(double askedEnd, int wait);  // when a wait asked to end then ends
    } machines[] = {
        {"0.3 ms late", [](double end, int) { return end + 0.3; }},
        {"0.9 ms late", [](double end, int) { return end + 0.9; }},
        {"0.2 or 1.4 ms late", [](double end, int i) { return end + (i % 2 ? 1.4 : 0.2); }},
        {"30 ms late now and then", [](double end, int i) { return end + (i % 100 == 40 ? 30 : 0.4); }},
    };
    for (const Machine& machine : machines) {
        SCOPED_TRACE(machine.label);
        RunSchedule schedule;
        std::vector<double> starts;
        double now = 1000.25;
        for (int i = 0; i <= 200; ++i) {
            starts.push_back(now);
            schedule.CallBegins(now);
            now += 10;
            ASSERT_TRUE(schedule.CallReturned(50, now));
            const DWORD asked = schedule.WaitMs(now);
            const double begin = now;
            now = machine.waitEnds(now + asked, i);
            schedule.WaitTimedOut(asked, begin, now);
        }
        for (size_t i = 1; i < starts.size(); ++i) ASSERT_GT(starts[i] - starts[i - 1], 49.0) << "call " << i;
        EXPECT_LE(std::fabs(starts.back() - starts.front() - 200 * 50.0), 1.0);
    }
    // A call that takes its whole period is followed at once, and the grid starts anew
    // from the next call; so it does after a pause, however little late the call came.
    RunSchedule schedule;
    schedule.CallBegins(0);
    EXPECT_FALSE(schedule.CallReturned(50, 60));
    schedule.CallBegins(60);
    EXPECT_TRUE(schedule.CallReturned(50, 70));
    EXPECT_EQ(schedule.WaitMs(70), 40u);
    schedule.Forget();
    schedule.CallBegins(150);
    EXPECT_TRUE(schedule.CallReturned(50, 160));
    EXPECT_EQ(schedule.WaitMs(160), 40u) << "no lateness taken back from before the pause";
}

// A call that does not return ends the service within its limit.  RunTimeout before a
// stop: the line, an error event, a memory dump and the process's end with 1460, without
// a stop report, so that the recovery actions apply.  Once a stop has come, StopTimeout
// (or RunTimeout, for the call that ran when the stop came) ends it stopped with 0.
TEST(RunLoop, HungCallsEndTheServiceWithinTheirLimits) {
    typedef std::string HostedClass::*Function;
    struct Case {
        const char* hung;  // the function that does not return
        Function clauses;  // its clauses in the class
        const char* runTimeout;  // nullptr: not set
        const char* stopTimeout;
        unsigned long control;  // sent once of_run has run, to hang in its callback
        bool stop;              // a stop is sent once the hung call runs
        unsigned long exitCode;
        std::string head;  // the event's kind
        std::string line;
    } cases[] = {
        {"of_run", &HostedClass::run, "2", nullptr, 0, false, 1460,
         kit::kError, "of_run did not return within 2 seconds"},
        {"of_startup", &HostedClass::startup, "2", "0", 0, false, 1460,
         kit::kError, "of_startup did not return within 2 seconds"},
        {"of_control", &HostedClass::control, "2", nullptr, 200, false, 1460,
         kit::kError, "of_control did not return within 2 seconds"},
        {"of_run", &HostedClass::run, nullptr, "2", 0, true, 0,
         kit::kWarning, "The application did not stop within 2 seconds"},
        {"of_stop", &HostedClass::stop, "0", "2", 0, true, 0,
         kit::kWarning, "The application did not stop within 2 seconds"},
        {"of_run", &HostedClass::run, "3", nullptr, 0, true, 0, kit::kError, "of_run did not return within 3 seconds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.hung) + (c.stop ? ", stopped" : ""));
        HostedService service("PbvmHang");
        HostedClass hosted;
        std::string& clauses = hosted.*c.clauses;
        clauses += (clauses.empty() ? "" : " ") + std::string("takes 600000");
        service.Install(hosted);
        if (c.runTimeout != nullptr) service.Run({"-reg", service.name(), "RunTimeout", c.runTimeout});
        if (c.stopTimeout != nullptr) service.Run({"-reg", service.name(), "StopTimeout", c.stopTimeout});
        EXPECT_EQ(service.Start(), "Start service successful!\r\n");
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, service.Status().dwProcessId);
        ASSERT_NE(process, nullptr);
        // The control or stop that leads to the hung call goes once of_run has begun; a
        // stop that comes during the hung call, once that has begun.
        const bool hungFirst = c.control == 0 && c.clauses != &HostedClass::stop;
        ASSERT_TRUE(service.WaitForCalls("InvokeBegin", hungFirst ? c.hung : "of_run", 1));
        if (c.control != 0) {
            EXPECT_EQ(kit::SendControl(service.name(), c.control), 0u);
        }
        if (c.stopTimeout != nullptr && std::string(c.stopTimeout) != "0") {
            // The pre-shutdown time the service gave itself, read back by -status.
            EXPECT_EQ(kit::StatusValue(service.name(), "StopTimeout"), c.stopTimeout);
            EXPECT_EQ(kit::StatusValue(service.name(), "Time at shutdown"),
                      std::to_string(std::stoul(c.stopTimeout) + 5) + " s");
        }
        if (c.stop) {
            EXPECT_EQ(kit::SendControl(service.name(), SERVICE_CONTROL_STOP), 0u);
        }
        ASSERT_TRUE(service.WaitForCalls("InvokeBegin", c.hung, 1));

        // Generous: the limit, the dump (at most 30 s) and a busy machine.
        EXPECT_EQ(WaitForSingleObject(process, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD exitCode = 0;
        GetExitCodeProcess(process, &exitCode);
        CloseHandle(process);
        EXPECT_EQ(exitCode, c.exitCode);
        if (c.stop) {
            EXPECT_EQ(service.State(), static_cast<unsigned long>(SERVICE_STOPPED));
            EXPECT_EQ(service.Status().dwWin32ExitCode, 0u);
        }
        EXPECT_TRUE(service.Calls("InvokeEnd", c.hung).empty());

        std::string log;
        for (const std::string& line : service.StartUpLogLines()) log += line + "\r\n";
        log += c.line + "\r\n";
        const std::vector<std::string> dumps = kit::ListFiles(service.folder(), service.name() + "-*.dmp");
        if (c.head == kit::kError) {
            // The dump of a hang: one file that a debugger opens, named in the log.
            ASSERT_EQ(dumps.size(), 1u);
            log += "Memory dump written to " + service.folder() + "\\" + dumps[0] + "\r\n";
            EXPECT_EQ(kit::ReadWholeFile(service.folder() + "\\" + dumps[0]).substr(0, 4), "MDMP");
        } else {
            EXPECT_TRUE(dumps.empty());
        }
        EXPECT_EQ(service.Log(), log);
        std::vector<std::string> events = {kit::kInformation + "PBNI Interface Initialized"};
        if (std::string(c.hung) != "of_startup") events.push_back(kit::kInformation + "Service started");
        events.push_back(c.head + c.line);
        EXPECT_EQ(service.Events(events.size()), events);
    }
}

}  // namespace
}  // namespace runtime_test
