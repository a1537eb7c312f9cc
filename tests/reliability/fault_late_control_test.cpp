// Controls that meet the end of the service, in a process where the host runs on the
// stand-in VM and the handler is called directly: the stop sequence waits for a control
// call in progress, nothing is called after the host has ended, and a pause or continue
// does not undo the stop-pending or stopped state.  (The same race through the real
// Service Control Manager: LoadStorm.ControlsWhileTheServiceStopsItselfDoNotCrashIt.)
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "runtime/handler_environment.h"

namespace reliability_test {
namespace {

using pbhost_test::HostedClass;
using pbhost_test::kInformation;
using pbhost_test::Lines;

class LateControl : public pbhost_test::HandlerEnvironment {
protected:
    void SetUp() override {
        HandlerEnvironment::SetUp();
        StartHostWith(HostedClass({"of_paused Q takes 400"}));
    }
    bool WaitForJournalLine(const std::string& line, unsigned timeoutMs = 10000) {
        const DWORD start = GetTickCount();
        for (;;) {
            for (const std::string& l : Journal()) {
                if (l == line) return true;
            }
            if (GetTickCount() - start > timeoutMs) return false;
            Sleep(5);
        }
    }
};

TEST_F(LateControl, StopWaitsForTheControlCallInProgress) {
    // The pause's of_paused takes 400 ms; the run loop ends meanwhile and the service
    // main starts its stop sequence, as after of_run returned 0.
    std::thread handler([] { Send(SERVICE_CONTROL_PAUSE); });
    const bool began = WaitForJournalLine("InvokeBegin \"of_paused\" #4 3 #5");
    if (began) {
        SetCurrentState(SERVICE_STOP_PENDING);
        CallStop();
    }
    handler.join();
    ASSERT_TRUE(began);
    EXPECT_EQ(Journal({"InvokeBegin", "InvokeEnd", "ReleaseSession", "detach"}),
              (Lines{"InvokeBegin \"of_paused\" #4 3 #5", "InvokeEnd \"of_paused\" #4 3 #5 -> 0",
                     "InvokeBegin \"of_stop\" #4 2 #6 false", "InvokeEnd \"of_stop\" #4 2 #6 -> 0",
                     "ReleaseSession #1", "detach " + pid_ + " unload"}))
        << "of_stop starts, and the VM goes, only after of_paused has returned";
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_STOP_PENDING)) << "the pause does not undo the stop";
}

TEST_F(LateControl, AfterTheHostHasEndedControlsCallAndReportNothing) {
    SetCurrentState(SERVICE_STOP_PENDING);
    CallStop();
    const Lines journal = Journal();
    for (DWORD control : {DWORD(SERVICE_CONTROL_PAUSE), DWORD(SERVICE_CONTROL_CONTINUE), DWORD(200),
                          DWORD(SERVICE_CONTROL_POWEREVENT), DWORD(SERVICE_CONTROL_SESSIONCHANGE)}) {
        EXPECT_EQ(Send(control), static_cast<DWORD>(NO_ERROR)) << control;
        EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_STOP_PENDING)) << control;
    }
    SetCurrentState(SERVICE_STOPPED);
    Send(SERVICE_CONTROL_CONTINUE);
    Send(SERVICE_CONTROL_PAUSE);
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(Journal(), journal) << "nothing is called once the VM is gone";
    Sleep(300);  // events of the late controls would have arrived by now
    EXPECT_EQ(Events(1), Lines{kInformation + "Service stopped"});
}

TEST_F(LateControl, PauseAndContinueStillMoveBetweenRunningAndPaused) {
    Send(SERVICE_CONTROL_PAUSE);
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_PAUSED));
    Send(SERVICE_CONTROL_CONTINUE);
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_RUNNING));
    SetCurrentState(SERVICE_START_PENDING);
    Send(SERVICE_CONTROL_PAUSE);
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_START_PENDING)) << "only running and paused change";
}

}  // namespace
}  // namespace reliability_test
