#include "runtime/control_handler.h"

#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "runtime/service_status.h"

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            // Nothing is reported here: the state stays running (or paused) until the run
            // loop has ended and the service main reports the stop.  The reason is stored
            // before the event is signalled, so of_stop sees the control that ended it.
            StoreStopReason(control);
            SetEvent(StopEvent);
            return NO_ERROR;
        case SERVICE_CONTROL_PAUSE:
            CallPaused();
            SetPausedOrRunning(SERVICE_PAUSED);
            break;
        case SERVICE_CONTROL_CONTINUE:
            CallResumed();
            SetPausedOrRunning(SERVICE_RUNNING);
            break;
        case SERVICE_CONTROL_INTERROGATE:
            break;
        case SERVICE_CONTROL_POWEREVENT:
            CallPowerEvent(eventType);
            break;
        case SERVICE_CONTROL_SESSIONCHANGE:
            CallSessionChange(eventType);
            break;
        default:
            CallControl(control);
            break;
    }
    ReportServiceStatus();
    return NO_ERROR;
}
