// A storm of controls while of_run is busy: pause, continue and user-defined controls,
// one after the other as fast as the Service Control Manager passes them on.  The suite
// sends 1,000; PBVMSVC_LOAD_CONTROLS sets the number.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "kit/services.h"
#include "reliability/load_support.h"
#include "runtime/hosted_service.h"

namespace reliability_test {
namespace {

using runtime_test::HostedClass;
using runtime_test::HostedService;
using runtime_test::JournalEntry;

// One handle to the service for every control, as a controlling program would keep it.
class ServiceHandle {
public:
    explicit ServiceHandle(const std::string& name) {
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (manager_ != nullptr) {
            service_ = OpenServiceA(manager_, name.c_str(),
                                    SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE |
                                        SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS);
        }
    }
    ~ServiceHandle() {
        if (service_ != nullptr) CloseServiceHandle(service_);
        if (manager_ != nullptr) CloseServiceHandle(manager_);
    }
    bool valid() const { return service_ != nullptr; }
    // 0 when the manager passed the control on, else the error.
    DWORD Send(DWORD control) const {
        SERVICE_STATUS status = {};
        return ControlService(service_, control, &status) ? 0 : GetLastError();
    }

private:
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

// The storm's controls: a user-defined control, continue, another user-defined control,
// pause, and again, so that every pause meets a running service and every continue a
// paused one; the user-defined codes run through 128..255.
DWORD StormControl(unsigned i) {
    switch (i % 4) {
        case 0: return 128 + (i / 4) % 128;
        case 1: return SERVICE_CONTROL_CONTINUE;
        case 2: return 255 - (i / 4) % 128;
        default: return SERVICE_CONTROL_PAUSE;
    }
}

// The controls the hosted object received, in the order it received them: 2 for
// of_paused, 3 for of_resumed, the code for of_control.
std::vector<DWORD> DeliveredControls(const std::vector<JournalEntry>& journal) {
    std::vector<DWORD> delivered;
    for (const JournalEntry& entry : journal) {
        if (entry.operation != "InvokeBegin") continue;
        if (entry.Field(0) == "of_paused") delivered.push_back(SERVICE_CONTROL_PAUSE);
        if (entry.Field(0) == "of_resumed") delivered.push_back(SERVICE_CONTROL_CONTINUE);
        if (entry.Field(0) == "of_control") delivered.push_back(std::stoul(entry.Field(4)));
    }
    return delivered;
}

size_t Count(const std::vector<std::string>& items, const std::string& item) {
    size_t n = 0;
    for (const std::string& i : items) n += i == item ? 1 : 0;
    return n;
}

TEST(LoadStorm, EveryControlReachesTheObjectWhileRunIsBusy) {
    const unsigned controls = LoadSize("PBVMSVC_LOAD_CONTROLS", 1000, 1000);
    HostedService service("PbvmStorm");
    HostedClass hosted;
    hosted.run = "returns 10 takes 200";  // of_run is busy nearly all the time
    service.Install(hosted);
    ASSERT_EQ(service.Start(), "Start service successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
    ASSERT_TRUE(service.WaitForCalls("InvokeBegin", "of_run", 1));
    const DWORD pid = service.Status().dwProcessId;

    ServiceHandle handle(service.name());
    ASSERT_TRUE(handle.valid());
    std::vector<DWORD> sent;
    size_t refused = 0;
    const DWORD began = GetTickCount();
    for (unsigned i = 0; i < controls; ++i) {
        const DWORD control = StormControl(i);
        const DWORD error = handle.Send(control);
        EXPECT_EQ(error, 0u) << "control " << i << " (" << control << ")";
        if (error == 0) sent.push_back(control); else ++refused;
    }
    std::printf("%u controls in %lu ms\n", controls, static_cast<unsigned long>(GetTickCount() - began));
    EXPECT_EQ(refused, 0u);

    // Every control reached the object, in the order sent; of_run went on meanwhile.
    ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_control", (controls + 1) / 2, 30000));
    EXPECT_EQ(DeliveredControls(service.Journal()), sent);
    EXPECT_GT(service.Calls("InvokeBegin", "of_run").size(), 1u);

    // The state becomes that of the last pause or continue (with 1,000 controls, the
    // last control is a pause), at once or, when the pause was answered as pending, once
    // it has been served.
    DWORD expectedState = SERVICE_RUNNING;
    for (DWORD control : sent) {
        if (control == SERVICE_CONTROL_PAUSE) expectedState = SERVICE_PAUSED;
        if (control == SERVICE_CONTROL_CONTINUE) expectedState = SERVICE_RUNNING;
    }
    EXPECT_TRUE(service.WaitForState(expectedState, 10000)) << "state " << service.State();
    EXPECT_EQ(service.Status().dwProcessId, pid) << "the same process throughout";

    // One event per pause and per continue.
    size_t pauses = 0, continues = 0;
    for (DWORD control : sent) {
        pauses += control == SERVICE_CONTROL_PAUSE ? 1 : 0;
        continues += control == SERVICE_CONTROL_CONTINUE ? 1 : 0;
    }
    const std::vector<std::string> events = service.Events(2 + pauses + continues, 30000);
    EXPECT_EQ(Count(events, "4:40000001:Service paused"), pauses);
    EXPECT_EQ(Count(events, "4:40000001:Service resumed"), continues);
    EXPECT_EQ(events.size(), 2 + pauses + continues);

    // And it still stops, in bounded time.
    EXPECT_EQ(service.Run({"-stop", service.name()}), "Service command successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED, 10000));
    EXPECT_EQ(service.Status().dwWin32ExitCode, 0u);
    EXPECT_EQ(service.Calls("InvokeBegin", "of_stop").size(), 1u);
    EXPECT_TRUE(WaitForNoProcessIn(service.folder(), 10000));
}

// Controls keep coming while the service stops by itself (of_run returns 0): the stop
// sequence releases the session and unloads the VM while the handler may be inside a
// hosted call, and both threads report the status.  The process must end normally, not
// crash; no hosted function may be called once the session is gone; and "stopped" must
// be the last report, made before the process ends.  A race: the suite runs 10 rounds,
// PBVMSVC_LOAD_STOP_ROUNDS (or PBVMSVC_LOAD_FULL=1 for 50) sets the number.
TEST(LoadStorm, ControlsWhileTheServiceStopsItselfDoNotCrashIt) {
    const unsigned rounds = LoadSize("PBVMSVC_LOAD_STOP_ROUNDS", 10, 50);
    for (unsigned round = 1; round <= rounds; ++round) {
        HostedService service("PbvmStormStop");
        HostedClass hosted;
        // of_startup's half second keeps the process there while the test looks up its
        // id: on a busy machine the whole short life could otherwise pass first.
        hosted.startup = "returns 0 takes 500";
        hosted.run = "returns 30 30 30 30 30 30 0 takes 10";
        hosted.paused = "takes 5";
        hosted.resumed = "takes 5";
        hosted.control = "takes 5";
        service.Install(hosted);

        // The storm is under way before the service starts, so that it meets the few
        // hundred milliseconds the service runs however slowly the machine is.
        std::atomic<bool> done(false);
        std::atomic<unsigned> accepted(0);
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread storm([&] {
            ServiceHandle handle(service.name());
            SetEvent(ready);
            for (unsigned i = 0; !done && handle.valid();) {
                if (handle.Send(StormControl(i)) == 0) {
                    ++accepted;
                    ++i;
                } else {
                    Sleep(1);  // not running (yet, or any more): no busy spin
                }
            }
        });
        WaitForSingleObject(ready, 10000);
        CloseHandle(ready);
        EXPECT_EQ(service.Start(), "Start service successful!\r\n") << "round " << round;
        DWORD pid = 0;
        for (const DWORD start = GetTickCount(); pid == 0 && GetTickCount() - start < 15000; Sleep(1)) {
            pid = service.Status().dwProcessId;
        }
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        const bool stopped = service.WaitForState(SERVICE_STOPPED, 20000);
        const bool ended = process != nullptr && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
        done = true;
        storm.join();
        ASSERT_NE(process, nullptr) << "round " << round;
        ASSERT_TRUE(stopped) << "round " << round << ", state " << service.State();
        ASSERT_TRUE(ended) << "round " << round;
        DWORD exitCode = 0xFFFFFFFF;
        GetExitCodeProcess(process, &exitCode);
        CloseHandle(process);
        EXPECT_EQ(exitCode, 0u) << "round " << round << ": the process ended normally";
        // The stop report is the last word: no pause or continue handled meanwhile may
        // turn the stopped service back into a paused or running one.
        EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED)) << "round " << round;
        EXPECT_EQ(service.Status().dwWin32ExitCode, 0u) << "round " << round;

        // No hosted call after the session was released; of_stop once; the VM unloaded.
        const std::vector<JournalEntry> journal = service.Journal();
        bool released = false;
        size_t late = 0, unloads = 0;
        for (const JournalEntry& entry : journal) {
            if (entry.operation == "ReleaseSession") released = true;
            if (released && (entry.operation == "InvokeBegin" || entry.operation == "GetMethodID")) ++late;
            if (entry.operation == "detach" && entry.Field(1) == "unload") ++unloads;
        }
        EXPECT_TRUE(released) << "round " << round;
        EXPECT_EQ(late, 0u) << "round " << round;
        EXPECT_EQ(unloads, 1u) << "round " << round;
        EXPECT_EQ(service.Calls("InvokeBegin", "of_stop").size(), 1u) << "round " << round;
        // A pause or continue reports its event only when it reached the object.
        const size_t pauses = service.Calls("InvokeBegin", "of_paused").size();
        const size_t continues = service.Calls("InvokeBegin", "of_resumed").size();
        const std::vector<std::string> events = service.Events(3 + pauses + continues, 10000);
        EXPECT_EQ(Count(events, "4:40000001:Service paused"), pauses) << "round " << round;
        EXPECT_EQ(Count(events, "4:40000001:Service resumed"), continues) << "round " << round;
        EXPECT_EQ(events.size(), 3 + pauses + continues) << "round " << round;
        EXPECT_GT(accepted.load(), 0u) << "round " << round << ": the controls met the running service";
        std::printf("round %u: %u controls accepted before the stop\n", round, accepted.load());
    }
}

}  // namespace
}  // namespace reliability_test
