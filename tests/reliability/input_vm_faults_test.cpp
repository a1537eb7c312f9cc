// A VM that fails, through the stand-in: every way the start-up can fail, seen from a
// real service process rather than in process; hosted functions whose invocation fails;
// and what a fault inside a hosted function does to the service.  (The in-process
// start-up failures, the missing functions and the failing of_startup, of_run, of_stop,
// of_resumed and of_control are in tests/pbhost; a missing VM DLL in
// tests/reliability/fault_missing_test.cpp.)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/events.h"
#include "kit/files.h"
#include "kit/product.h"
#include "kit/services.h"
#include "pbhost/host_environment.h"
#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "pbhost/vm_startup.h"
#include "runtime/hosted_service.h"

namespace {

using runtime_test::HostedClass;
using runtime_test::HostedService;
using runtime_test::JournalEntry;
using Lines = std::vector<std::string>;

using kit::kError;
using kit::kInformation;

// Waits for the process to end; its exit code, or STILL_ACTIVE when it did not end.
DWORD ProcessExitCode(DWORD processId, DWORD timeoutMs) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr) return 0xFFFFFFFF;  // gone before it could be looked at
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

// The log of a successful start, up to "PBNI Interface Initialized".
std::string StartUpLog(const HostedService& service) {
    std::string log;
    for (const std::string& line : service.StartUpLogLines()) log += line + "\r\n";
    return log;
}

class VmFaults : public ::testing::Test {
protected:
    void SetUp() override {
        HostedClass hosted;
        hosted.run = "returns 0";
        ASSERT_EQ(service_.Install(hosted), "Install service '" + service_.name() + "' successful!\r\n"
                                            "Update PBLibList successful!\r\nUpdate PBAppName successful!\r\n"
                                            "Update PBObjName successful!\r\nUpdate LogFileName successful!\r\n");
        list_ = "LibList: From Registry\r\nLibrary Count: 2\r\n" + service_.folder() + "\\app.pbl\r\n" +
                service_.folder() + "\\common.pbd\r\nBefore CreateSession\r\n";
    }
    HostedService service_{"PbvmVmFault"};
    std::string list_;  // the log up to the session
};

TEST_F(VmFaults, EveryStartUpFailureStopsTheServiceWith1066And1627) {
    ASSERT_TRUE(CopyFileA((kit::TestProgramDirectory() + "\\standin\\noexport.dll").c_str(),
                          (service_.folder() + "\\noexport.dll").c_str(), FALSE));
    // The stand-in of the other bitness, which the service finds but cannot load.
    ASSERT_TRUE(CopyFileA(kit::OtherBitnessVm().c_str(), (service_.folder() + "\\otherbits.dll").c_str(), FALSE))
        << kit::OtherBitnessVm() << ": scripts/build.sh builds both bitnesses";
    const std::string otherBitness =
        sizeof(void*) == 8 ? "PowerBuilder VM is not a 64-bit DLL" : "PowerBuilder VM is not a 32-bit DLL";
    struct Cell {
        const char* settings;  // the stand-in's settings
        std::string vm;        // PBVMName
        std::string log;
        std::string error;
    };
    const std::string vm = kit::TestVm().file;
    const Cell cells[] = {
        {"", "noexport.dll", "", "Function PB_GetVM was not found"},
        {"", "otherbits.dll", otherBitness + "\r\n", otherBitness},
        {"get_vm = null", vm, "Function PB_GetVM failed\r\n", "Function PB_GetVM failed"},
        {"get_vm = error", vm, "Function PB_GetVM failed\r\n", "Function PB_GetVM failed"},
        {"create_session = fail:7", vm, list_ + "Function CreateSession failed\r\n",
         "Function CreateSession failed"},
        {"create_session = null", vm, list_ + "Function CreateSession failed\r\n",
         "Function CreateSession failed"},
        // The exceptions are caught on the service's own thread, and the process goes on
        // to report its stop.
        {"create_session = raise", vm, list_ + "Function CreateSession aborted\r\n",
         "Function CreateSession aborted"},
        {"create_session = raise:0xC0000094", vm, list_ + "Function CreateSession aborted\r\n",
         "Function CreateSession aborted"},
        {"create_session = access-violation", vm, list_ + "Function CreateSession aborted\r\n",
         "Function CreateSession aborted"},
        {"create_session = msvc-throw", vm, list_ + "Function CreateSession aborted\r\n",
         "Function CreateSession aborted"},
        {"find_group = null", vm, list_ + "After CreateSession\r\nFunction FindGroup failed\r\n",
         "Function FindGroup failed"},
        {"find_class = null", vm, list_ + "After CreateSession\r\nFunction FindClass failed\r\n",
         "Function FindClass failed"},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(std::string(cell.settings) + " " + cell.vm);
        service_.WriteVmSettings(std::string(cell.settings) + "\r\n");
        ASSERT_EQ(service_.Run({"-v", service_.name(), cell.vm}), "Update PBVMName successful!\r\n");
        DeleteFileA(service_.LogPath().c_str());
        DeleteFileA(service_.JournalPath().c_str());
        const kit::EventMark mark = kit::MarkEvents();

        EXPECT_EQ(service_.StartUntilStopped(), "Start service successful!\r\n");
        const SERVICE_STATUS_PROCESS status = service_.Status();
        EXPECT_EQ(status.dwWin32ExitCode, 1066u);
        EXPECT_EQ(status.dwServiceSpecificExitCode, 1627u);
        EXPECT_EQ(service_.Log(), cell.log);
        EXPECT_EQ(kit::Summarize(kit::CollectEvents(service_.name(), mark, 1, 5000)), Lines{kError + cell.error});
        for (const JournalEntry& entry : service_.Journal()) {
            EXPECT_NE(entry.operation, "InvokeBegin") << "no hosted function is called";
        }
    }
}

// Wine keeps showing a service whose process ended without a stop report as running,
// refuses to stop it, and the clean-up would wait its full time for the stop.  A new
// start (which Wine accepts in that state) over a class whose of_run asks to stop at once
// brings it to a real stop.  On Windows the service is stopped already.
void StopAfterCrash(const HostedService& service) {
    HostedClass quiet;
    quiet.run = "returns 0";
    kit::WriteWholeFile(service.folder() + "\\app.pbl", quiet.Text());
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE handle = manager ? OpenServiceA(manager, service.name().c_str(), SERVICE_START) : nullptr;
    if (handle != nullptr && kit::QueryServiceState(service.name()) != SERVICE_STOPPED) {
        StartServiceA(handle, 0, nullptr);
        service.WaitForState(SERVICE_STOPPED);
    }
    if (handle != nullptr) CloseServiceHandle(handle);
    if (manager != nullptr) CloseServiceHandle(manager);
}

// A structured exception that leaves a hosted function is caught, written to the log and
// reported; then nothing more is called in the VM.  After a fault in of_run or a control
// callback the process ends without a stop report and without of_stop, so that Windows
// shows the service stopped (1067) and applies its recovery actions (Wine keeps showing
// it running); after a fault in of_stop the service still reports its stop.
TEST_F(VmFaults, AFaultInsideAHostedFunctionIsLoggedAndReportedBeforeTheServiceEnds) {
    struct Cell {
        const char* label;
        std::string HostedClass::*function;
        const char* clauses;
        unsigned long control;  // sent once the service runs; 0 for of_run itself
        std::string logEnd;     // the log after the start-up lines
        Lines errors;           // the events after "Service started"
    } cells[] = {
        {"of_run raises", &HostedClass::run, "returns 50 raise:0xE0001234", 0,
         "Exception 0xE0001234 in of_run\r\nService ended after of_run failed\r\n",
         {kError + "Exception 0xE0001234 in of_run", kError + "Service ended after of_run failed"}},
        {"of_control writes through a null pointer", &HostedClass::control, "returns access-violation", 200,
         "Exception 0xC0000005 in of_control\r\n", {kError + "Exception 0xC0000005 in of_control"}},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(cell.label);
        HostedService service("PbvmVmRaise");
        HostedClass hosted;
        hosted.run = "returns 60000";
        hosted.*cell.function = cell.clauses;
        service.Install(hosted);
        EXPECT_EQ(service.Start(), "Start service successful!\r\n");
        ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
        ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_run", 1));
        const DWORD processId = service.Status().dwProcessId;
        ASSERT_NE(processId, 0u);
        // The process ends while the manager waits for the control's answer: whatever
        // it says about the control (Wine: 109, the pipe ended) is of no interest here.
        if (cell.control != 0) kit::SendControl(service.name(), cell.control);

        // Ended by the service itself, as after a failed of_run (Wine keeps the low byte).
        const DWORD exitCode = ProcessExitCode(processId, 15000);
        EXPECT_TRUE(exitCode == 1627 || exitCode == (1627 & 0xFF)) << exitCode;
        EXPECT_EQ(service.Log(), StartUpLog(service) + cell.logEnd);
        Lines events = {kInformation + "PBNI Interface Initialized", kInformation + "Service started"};
        events.insert(events.end(), cell.errors.begin(), cell.errors.end());
        EXPECT_EQ(service.Events(events.size()), events);
        EXPECT_TRUE(service.Calls("InvokeBegin", "of_stop").empty());
        const std::vector<JournalEntry> journal = service.Journal();
        ASSERT_FALSE(journal.empty());
        EXPECT_EQ(journal.back().operation, "InvokeEnd") << "nothing is called after the fault, nothing unloaded";
        StopAfterCrash(service);
    }
}

TEST_F(VmFaults, AFaultInOfStopIsLoggedAndReportedAndTheServiceStillStops) {
    HostedService service("PbvmVmStop");
    HostedClass hosted;
    hosted.run = "returns 60000";
    hosted.stop = "returns msvc-throw";
    service.Install(hosted);
    EXPECT_EQ(service.Start(), "Start service successful!\r\n");
    ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_run", 1));
    EXPECT_EQ(service.Run({"-stop", service.name()}), "Service command successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(service.Status().dwWin32ExitCode, 0u);
    EXPECT_EQ(service.Log(), StartUpLog(service) + "Exception 0xE06D7363 in of_stop\r\n");
    EXPECT_EQ(service.Events(4), (Lines{kInformation + "PBNI Interface Initialized", kInformation + "Service started",
                                        kError + "Exception 0xE06D7363 in of_stop",
                                        kInformation + "Service stopped"}));
    for (const JournalEntry& entry : service.Journal()) {
        EXPECT_NE(entry.operation, "ReleaseSession") << "nothing more is called in the VM";
    }
}

}  // namespace

namespace pbhost_test {
namespace {

// The calls made for controls give no result that matters; a failed invocation is
// neither reported nor retried, and its call record is released like any other.
class FailedControlCalls : public HostEnvironment {};

TEST_F(FailedControlCalls, AreReleasedAndReportNothingOfTheirOwn) {
    UseLibrary(HostedClass({"of_paused Q returns fail", "of_resumed Q returns fail:5",
                            "of_control QU returns fail:-9", "of_powerevent QU returns fail",
                            "of_sessionchg QU returns fail:2"}));
    ASSERT_EQ(StartPowerBuilderHost(), 0u);
    ForgetJournal();
    mark_ = kit::MarkEvents();
    CallPaused();
    CallResumed();
    CallControl(128);
    CallPowerEvent(10);
    CallSessionChange(3);
    CallPaused();
    EXPECT_EQ(Journal({"InvokeEnd", "ReleaseCallRecord"}),
              (Lines{"InvokeEnd \"of_paused\" #4 3 #5 -> fail -1", "ReleaseCallRecord #5",
                     "InvokeEnd \"of_resumed\" #4 4 #6 -> fail 5", "ReleaseCallRecord #6",
                     "InvokeEnd \"of_control\" #4 5 #7 -> fail -9", "ReleaseCallRecord #7",
                     "InvokeEnd \"of_powerevent\" #4 6 #8 -> fail -1", "ReleaseCallRecord #8",
                     "InvokeEnd \"of_sessionchg\" #4 7 #9 -> fail 2", "ReleaseCallRecord #9",
                     "InvokeEnd \"of_paused\" #4 3 #10 -> fail -1", "ReleaseCallRecord #10"}));
    EXPECT_EQ(Events(3), (Lines{kInformation + "Service paused", kInformation + "Service resumed",
                                kInformation + "Service paused"}));
    for (const std::string& line : Journal()) EXPECT_EQ(line.find(" error "), std::string::npos) << line;
}

}  // namespace
}  // namespace pbhost_test
