#include "runtime/control_handler.h"

#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "runtime/hand_over.h"
#include "runtime/service_status.h"

namespace {

// Served on the host's thread, the run loop's: the state changes there, right after the
// hosted object's call, so the loop sees it before it could call of_run again.
void Pause(unsigned long) {
    CallPaused();
    SetPausedOrRunning(SERVICE_PAUSED);
}
void Continue(unsigned long) {
    CallResumed();
    SetPausedOrRunning(SERVICE_RUNNING);
}

}  // namespace

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            // Nothing is called or reported here, and nothing is waited for: the state
            // stays running (or paused) until the run loop has ended and the service main
            // reports the stop.  The reason is stored before the event is signalled, so
            // of_stop sees the control that ended it.
            StoreStopReason(control);
            SetEvent(StopEvent);
            return NO_ERROR;
        // The hosted object's callbacks run on the service main's thread (hand_over.h);
        // the handler goes on once they have run, or at once, with nothing called and the
        // state unchanged, when the run loop has ended.
        case SERVICE_CONTROL_PAUSE:
            HandOverToHost(Pause, 0);
            break;
        case SERVICE_CONTROL_CONTINUE:
            HandOverToHost(Continue, 0);
            break;
        case SERVICE_CONTROL_INTERROGATE:
            break;
        case SERVICE_CONTROL_POWEREVENT:
            HandOverToHost(CallPowerEvent, eventType);
            break;
        case SERVICE_CONTROL_SESSIONCHANGE:
            HandOverToHost(CallSessionChange, eventType);
            break;
        default:
            HandOverToHost(CallControl, control);
            break;
    }
    ReportServiceStatus();
    return NO_ERROR;
}
