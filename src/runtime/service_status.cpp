#include "runtime/service_status.h"

#include "common/critical_section.h"

SERVICE_STATUS ServiceStatus = {};
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
HANDLE StopEvent = nullptr;

namespace {

// Reports of the running service (start pending, running, and the handler's after each
// control) are made one at a time.  The reports of the end (stop pending, stopped) are
// the service main's alone: before the first of them, handler reports are switched off,
// after the one in progress, if any, has been made; so no report of the handler's can
// reach the Service Control Manager after "stopped" and leave the service shown as
// stop-pending or running after its process has ended.  The end's reports are made
// without holding the lock: Wine's dispatcher holds a lock of its own while it runs the
// handler, and SetServiceStatus takes that lock for "stopped".
CriticalSection Reports;
bool HandlerReportsEnded = false;  // only read and written inside the lock

// SetServiceStatus reads the record more than once (Wine's sends it, then looks again
// whether it says "stopped" and, if so, lets the process end), and the other thread may
// change the state in between: it is always handed a copy.
void Report(DWORD state) {
    SERVICE_STATUS status = ServiceStatus;
    status.dwCurrentState = state;
    SetServiceStatus(StatusHandle, &status);
}

}  // namespace

void ReportServiceStatus() {
    const CriticalSectionTurn turn(Reports);
    if (!HandlerReportsEnded) Report(CurrentState());
}

void ReportEndState(DWORD state) {
    {
        const CriticalSectionTurn turn(Reports);
        HandlerReportsEnded = true;
    }
    SetCurrentState(state);
    Report(state);
}

void SetCurrentState(DWORD state) {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&ServiceStatus.dwCurrentState),
                        static_cast<LONG>(state));
}

void SetPausedOrRunning(DWORD state) {
    volatile LONG* current = reinterpret_cast<volatile LONG*>(&ServiceStatus.dwCurrentState);
    for (;;) {
        const LONG seen = *current;
        if (seen != SERVICE_RUNNING && seen != SERVICE_PAUSED) return;
        if (InterlockedCompareExchange(current, static_cast<LONG>(state), seen) == seen) return;
    }
}

DWORD CurrentState() {
    return static_cast<DWORD>(*reinterpret_cast<volatile LONG*>(&ServiceStatus.dwCurrentState));
}

DWORD ControlsAcceptedFor(DWORD majorVersion, DWORD minorVersion) {
    const DWORD base = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                       SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT;
    const bool sessionChanges = majorVersion > 5 || (majorVersion == 5 && minorVersion >= 1);
    return sessionChanges ? base | SERVICE_ACCEPT_SESSIONCHANGE : base;
}
