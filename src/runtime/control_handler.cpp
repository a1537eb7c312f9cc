#include "runtime/control_handler.h"

#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "runtime/hand_over.h"
#include "runtime/service_status.h"
#include "runtime/time_limits.h"

namespace {

void Pause(unsigned long) { CallPaused(); }
void Continue(unsigned long) { CallResumed(); }

}  // namespace

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
        case SERVICE_CONTROL_PRESHUTDOWN:
            // Answered at once, whatever the host's thread is doing: stop pending from now
            // on, with progress reported until the service main reports stopped.  The
            // service main stops the hosted object once of_run has returned and the
            // controls queued before this one have been served.  The reason is stored
            // before the event is signalled, so of_stop sees the control that ended it;
            // a pre-shutdown is a shutdown to the application.  StopTimeout counts from now.
            StoreStopReason(control == SERVICE_CONTROL_STOP ? control : kShutdownControl);
            SetStopPending();
            NoteStopCame();
            SetEvent(StopEvent);
            break;
        // The hosted object's callbacks run on the service main's thread (hand_over.h).
        // A pause or continue not served within the hand-over's wait shows as pending
        // until it has been; nothing is called, and the state is left alone, once the
        // service main has closed the queue.
        case SERVICE_CONTROL_PAUSE:
            HandOverToHost({Pause, 0, SERVICE_PAUSE_PENDING, SERVICE_PAUSED});
            break;
        case SERVICE_CONTROL_CONTINUE:
            HandOverToHost({Continue, 0, SERVICE_CONTINUE_PENDING, SERVICE_RUNNING});
            break;
        case SERVICE_CONTROL_INTERROGATE:
            break;
        case SERVICE_CONTROL_POWEREVENT:
            HandOverToHost({CallPowerEvent, eventType, 0, 0});
            break;
        case SERVICE_CONTROL_SESSIONCHANGE:
            HandOverToHost({CallSessionChange, eventType, 0, 0});
            break;
        default:
            HandOverToHost({CallControl, control, 0, 0});
            break;
    }
    ReportServiceStatus();
    return NO_ERROR;
}
