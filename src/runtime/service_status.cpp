#include "runtime/service_status.h"

#include "common/critical_section.h"

SERVICE_STATUS ServiceStatus = {};
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
HANDLE StopEvent = nullptr;

namespace {

// Events that live as long as the process: made before main, never closed.
struct ReportEvents {
    ReportEvents()
        : reporterWake(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          reportsDone(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    HANDLE reporterWake;  // a pending state began, or a report was requested
    HANDLE reportsDone;   // the last report under way when the stopped report began is done
};
ReportEvents Events;

// No lock is held while SetServiceStatus runs: under Wine a report from another thread
// than the handler's waits until a running handler has returned, and the handler itself
// reports; holding a lock there that the handler needs would deadlock.
CriticalSection Reports;
unsigned ReportsUnderWay = 0;  // inside Reports
bool StoppedReportBegun = false;  // inside Reports

volatile LONG CheckPoint = 0;
volatile LONG ReportRequested = 0;

CriticalSection ReporterStart;
bool ReporterRunning = false;  // inside ReporterStart

volatile LONG* StateWord() { return reinterpret_cast<volatile LONG*>(&ServiceStatus.dwCurrentState); }

bool IsPending(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING ||
           state == SERVICE_STOP_PENDING;
}

bool StoppedReportHasBegun() {
    const CriticalSectionTurn turn(Reports);
    return StoppedReportBegun;
}

// Sends a copy: SetServiceStatus reads the record more than once (Wine's sends it, then
// looks again whether it says "stopped" and, if so, lets the process end), and another
// thread may change the state in between.  Returns the state sent.
DWORD Send() {
    SERVICE_STATUS status = ServiceStatus;
    status.dwCurrentState = CurrentState();
    if (IsPending(status.dwCurrentState)) {
        status.dwWaitHint = kPendingWaitHintMs;
        status.dwCheckPoint = static_cast<DWORD>(InterlockedIncrement(&CheckPoint));
    }
    SetServiceStatus(StatusHandle, &status);
    return status.dwCurrentState;
}

// The status reporter: reports while a pending state lasts, so that its checkpoint
// advances, and when a report is requested.  Waits without a time-out otherwise.
DWORD WINAPI RunStatusReporter(LPVOID) {
    for (;;) {
        const DWORD woke =
            WaitForSingleObject(Events.reporterWake, IsPending(CurrentState()) ? kProgressIntervalMs : INFINITE);
        const bool requested = InterlockedExchange(&ReportRequested, 0) != 0;
        if (requested || (woke == WAIT_TIMEOUT && IsPending(CurrentState()))) ReportServiceStatus();
    }
}

// Starts the status reporter's thread on first use (the start pending state) and wakes
// it; false when its thread cannot be made.
bool WakeStatusReporter() {
    {
        const CriticalSectionTurn turn(ReporterStart);
        if (!ReporterRunning) {
            HANDLE thread = CreateThread(nullptr, 0, RunStatusReporter, nullptr, 0, nullptr);
            if (thread == nullptr) return false;
            CloseHandle(thread);
            ReporterRunning = true;
        }
    }
    SetEvent(Events.reporterWake);
    return true;
}

// Sets the state when allowed(current state) holds, in one interlocked step; a pending
// state wakes the status reporter.  False when the state was not allowed.
template <class Allowed>
bool ChangeState(DWORD state, Allowed allowed) {
    for (;;) {
        const LONG seen = *StateWord();
        if (!allowed(static_cast<DWORD>(seen))) return false;
        if (InterlockedCompareExchange(StateWord(), static_cast<LONG>(state), seen) == seen) break;
    }
    if (IsPending(state)) WakeStatusReporter();
    return true;
}

}  // namespace

void ReportServiceStatus() {
    {
        const CriticalSectionTurn turn(Reports);
        if (StoppedReportBegun) return;
        ++ReportsUnderWay;
    }
    // Two threads' reports may reach the manager in the other order than they read the
    // state; the one that finds the state changed after its report reports again, so the
    // last report to arrive has the current state.
    while (Send() != CurrentState() && !StoppedReportHasBegun()) {
    }
    const CriticalSectionTurn turn(Reports);
    if (--ReportsUnderWay == 0 && StoppedReportBegun) SetEvent(Events.reportsDone);
}

void RequestServiceStatusReport() {
    InterlockedExchange(&ReportRequested, 1);
    if (!WakeStatusReporter()) ReportServiceStatus();
}

void ReportStopped(DWORD win32ExitCode, DWORD serviceSpecificExitCode) {
    bool wait;
    {
        const CriticalSectionTurn turn(Reports);
        StoppedReportBegun = true;
        wait = ReportsUnderWay != 0;
        if (wait) ResetEvent(Events.reportsDone);
    }
    // Bounded: a report under way waits at most for a running handler, and the handler
    // waits for the host's thread a second at most.
    if (wait) WaitForSingleObject(Events.reportsDone, INFINITE);
    ServiceStatus.dwWin32ExitCode = win32ExitCode;
    ServiceStatus.dwServiceSpecificExitCode = serviceSpecificExitCode;
    SetCurrentState(SERVICE_STOPPED);
    Send();
}

void SetCurrentState(DWORD state) {
    InterlockedExchange(StateWord(), static_cast<LONG>(state));
    if (IsPending(state)) WakeStatusReporter();
}

DWORD CurrentState() { return static_cast<DWORD>(*StateWord()); }

bool SetRunningAfterStart() {
    return InterlockedCompareExchange(StateWord(), SERVICE_RUNNING, SERVICE_START_PENDING) == SERVICE_START_PENDING;
}

void SetPausedOrRunning(DWORD state) {
    ChangeState(state, [](DWORD current) {
        return current == SERVICE_RUNNING || current == SERVICE_PAUSED || current == SERVICE_PAUSE_PENDING ||
               current == SERVICE_CONTINUE_PENDING;
    });
}

bool SetStopPending() {
    return ChangeState(SERVICE_STOP_PENDING, [](DWORD current) {
        return current != SERVICE_STOPPED && current != SERVICE_STOP_PENDING;
    });
}

DWORD ControlsAcceptedFor(DWORD majorVersion, DWORD minorVersion) {
    const DWORD base = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                       SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT;
    const bool sessionChanges = majorVersion > 5 || (majorVersion == 5 && minorVersion >= 1);
    const bool preshutdown = majorVersion >= 6;
    return base | (sessionChanges ? SERVICE_ACCEPT_SESSIONCHANGE : 0) | (preshutdown ? SERVICE_ACCEPT_PRESHUTDOWN : 0);
}
