// Controls that meet the end of the service, in a process where the host runs on the
// stand-in VM and the handler is called directly: a control still queued for the host's
// thread when the queue closes calls nothing, nothing is called after the host has
// ended, and a pause or continue does not undo the stop-pending or stopped state.  (The
// same race through the real Service Control Manager:
// LoadStorm.ControlsWhileTheServiceStopsItselfDoNotCrashIt.)
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
        StartHostWith(HostedClass());
    }
};

TEST_F(LateControl, AControlStillQueuedWhenTheQueueClosesCallsNothing) {
    // The pause is handed over while this thread, the host's, is busy (as in a long
    // of_run) and does not serve it before the queue closes (as after a failed of_run).
    std::thread handler([] { ServiceControlHandler(SERVICE_CONTROL_PAUSE, 0, nullptr, nullptr); });
    const bool waiting = WaitForSingleObject(HandOverWaiting(), 10000) == WAIT_OBJECT_0;
    SetCurrentState(SERVICE_STOP_PENDING);
    CloseHandOvers();
    handler.join();
    CallStop();
    ASSERT_TRUE(waiting);
    EXPECT_EQ(Journal({"InvokeBegin", "ReleaseSession"}),
              (Lines{"InvokeBegin \"of_stop\" #4 2 #5 false", "ReleaseSession #1"}));
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_STOP_PENDING)) << "the pause does not undo the stop";
    EXPECT_EQ(Events(1), Lines{kInformation + "Service stopped"}) << "no \"Service paused\"";
}

TEST_F(LateControl, AfterTheHostHasEndedControlsCallAndReportNothing) {
    SetCurrentState(SERVICE_STOP_PENDING);
    CloseHandOvers();
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
