// The control handler called directly, in a process where the host runs on the stand-in
// VM: the controls that Wine's service manager never sends (shutdown, power events,
// session changes) and the handler's state keeping.
#include <gtest/gtest.h>

#include <windows.h>

#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "runtime/handler_environment.h"

namespace pbhost_test {
namespace {

class ControlHandler : public HandlerEnvironment {
protected:
    // Without of_paused (method ids after it move up by one): a missing function must
    // not keep the handler from setting and reporting the state.
    void SetUp() override {
        HandlerEnvironment::SetUp();
        StartHostWith(HostedClass({"of_paused -"}));
    }
};

// A pre-shutdown is a shutdown to the application, which needs no change for it.
class ShutdownControl : public ControlHandler, public ::testing::WithParamInterface<DWORD> {};

TEST_P(ShutdownControl, StopsWithTheShutdownFlag) {
    EXPECT_EQ(Send(GetParam()), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(LoadStopReason(), 5u);
    EXPECT_TRUE(StopSignalled());
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_STOP_PENDING)) << "the stop shows at once";
    EXPECT_EQ(Journal(), Lines{}) << "nothing is called for the stop itself";
    CallStop();
    EXPECT_EQ(Journal({"InvokeBegin"}), Lines{"InvokeBegin \"of_stop\" #4 2 #5 true"});
}

INSTANTIATE_TEST_SUITE_P(ShutdownAndPreshutdown, ShutdownControl,
                         ::testing::Values(SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_PRESHUTDOWN));

TEST_F(ControlHandler, LastStopOrShutdownDecidesTheFlag) {
    Send(SERVICE_CONTROL_SHUTDOWN);
    Send(SERVICE_CONTROL_STOP);
    EXPECT_EQ(LoadStopReason(), 1u);
    EXPECT_TRUE(StopSignalled());
    EXPECT_FALSE(StopSignalled()) << "an auto-reset event: one wait sees it";
    CallStop();
    EXPECT_EQ(Journal({"InvokeBegin"}), Lines{"InvokeBegin \"of_stop\" #4 2 #5 false"});
}

TEST_F(ControlHandler, PowerSessionAndUserControlsReachTheObjectWithTheirCodes) {
    EXPECT_EQ(Send(SERVICE_CONTROL_POWEREVENT, 18), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(Send(SERVICE_CONTROL_SESSIONCHANGE, 5), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(Send(200), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(Send(8), static_cast<DWORD>(NO_ERROR));  // not accepted, still passed on
    EXPECT_EQ(Journal({"InvokeBegin"}),
              (Lines{"InvokeBegin \"of_powerevent\" #4 5 #5 18", "InvokeBegin \"of_sessionchg\" #4 6 #6 5",
                     "InvokeBegin \"of_control\" #4 4 #7 200", "InvokeBegin \"of_control\" #4 4 #8 8"}));
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(LoadStopReason(), 0u);
    EXPECT_FALSE(StopSignalled());
}

TEST_F(ControlHandler, PauseAndContinueSetTheStateAfterTheCallEvenWhenItIsMissing) {
    Send(SERVICE_CONTROL_PAUSE);
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_PAUSED));
    Send(SERVICE_CONTROL_PAUSE);
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_PAUSED));
    Send(SERVICE_CONTROL_CONTINUE);
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_RUNNING));
    Send(SERVICE_CONTROL_CONTINUE);
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(Journal({"InvokeBegin"}), (Lines{"InvokeBegin \"of_resumed\" #4 3 #5",
                                               "InvokeBegin \"of_resumed\" #4 3 #6"}));
    EXPECT_EQ(Events(6), (Lines{kError + "GetMethodID failed for of_paused", kInformation + "Service paused",
                                kError + "GetMethodID failed for of_paused", kInformation + "Service paused",
                                kInformation + "Service resumed", kInformation + "Service resumed"}));
}

TEST_F(ControlHandler, InterrogateCallsNothing) {
    SetCurrentState(SERVICE_PAUSED);
    EXPECT_EQ(Send(SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(Journal(), Lines{});
    EXPECT_EQ(CurrentState(), static_cast<DWORD>(SERVICE_PAUSED));
}

TEST(ControlsAccepted, SessionChangesFromWindowsXpOnPreshutdownFromVistaOn) {
    EXPECT_EQ(ControlsAcceptedFor(5, 0), 0x47u);
    EXPECT_EQ(ControlsAcceptedFor(5, 1), 0xC7u);
    EXPECT_EQ(ControlsAcceptedFor(5, 2), 0xC7u);
    EXPECT_EQ(ControlsAcceptedFor(6, 0), 0x1C7u);
    EXPECT_EQ(ControlsAcceptedFor(10, 0), 0x1C7u);
    EXPECT_EQ(ControlsAcceptedFor(0, 0), 0x47u) << "a failed version query";
    EXPECT_EQ(ControlsAcceptedFor(4, 90), 0x47u);
}

}  // namespace
}  // namespace pbhost_test
