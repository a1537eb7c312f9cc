#include "runtime/service_main.h"

#include <algorithm>

#include "common/service_settings.h"
#include "diag/event_log.h"
#include "diag/log_file.h"
#include "pbhost/call_watch.h"
#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "pbhost/vm_startup.h"
#include "runtime/control_handler.h"
#include "runtime/hand_over.h"
#include "runtime/service_status.h"
#include "runtime/time_limits.h"

DWORD RunInterval = 0;

namespace {

// How often a paused service whose last interval was 0 looks at its state again, so
// that it waits rather than spins until it is continued or stopped.
const DWORD kPausedRecheckMs = 100;


DWORD WindowsControlsAccepted() {
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)  // GetVersionExA is the documented way on old systems too
#endif
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = 148;  // the ANSI record without the service-pack extension
    GetVersionExA(&version);
#if defined(_MSC_VER)
#pragma warning(pop)
#endif
    return ControlsAcceptedFor(version.dwMajorVersion, version.dwMinorVersion);
}

void ReportStartFailure(DWORD code) {
    if (!ClaimServiceEnd()) AwaitServiceEnd();
    // A control handed over during the start is not served: there is no run loop.
    CloseHandOvers();
    ReportStopped(ERROR_SERVICE_SPECIFIC_ERROR, code);
}

// The run loop's clock: milliseconds, with fractions, from the performance counter.  Not
// timeGetTime: winmm.dll would bring user32, gdi32 and ole32 into the process at load
// time, which costs every start some 25 ms and the process over 2 MB of private memory
// (measured with bench/run.sh).
double ClockMs() {
    static double ticksPerMs = 0;
    LARGE_INTEGER now;
    if (ticksPerMs == 0) {
        QueryPerformanceFrequency(&now);
        ticksPerMs = static_cast<double>(now.QuadPart) / 1000.0;
    }
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

// A wait ends a little after the time asked for (a few tenths of a millisecond under
// Wine), and a wait of whole milliseconds misses a due time by up to half of one.  A
// call that starts up to this much late counts its period from when it was due, so that
// the next wait takes the lateness back instead of adding it to the schedule: over a
// few hundred calls it would add up to a drift of many milliseconds.  With the half
// millisecond of rounding, a call still never starts a whole millisecond before one
// period after the previous call started.
const double kLatenessTakenBackMs = 0.5;

// Waits up to timeout ms for StopEvent, serving the control handler's hand-overs
// meanwhile (those queued during the call before it first); a hand-over does not
// lengthen the wait, which ends when it would have ended without one.  WAIT_TIMEOUT when
// the time is up; anything else (the event was signalled, or the wait failed) ends the
// run loop.
DWORD WaitServingHandOvers(DWORD timeout) {
    const double end = ClockMs() + timeout;
    const HANDLE events[2] = {StopEvent, HandOverWaiting()};
    for (;;) {
        // A stop signalled together with a hand-over wins (the first event is reported):
        // the service main serves the queue before it stops the hosted object.
        const DWORD result = WaitForMultipleObjects(2, events, FALSE, timeout);
        if (result != WAIT_OBJECT_0 + 1) return result;
        ServeHandOvers();
        const double left = end - ClockMs();
        timeout = left > 0 ? static_cast<DWORD>(left + 0.5) : 0;
    }
}

void RunLoop() {
    RunInterval = 0;
    bool scheduled = false;  // the next call ends a wait that the previous call set
    double due = 0;          // when it is due: the previous call's start plus its period
    for (;;) {
        // Controls that came since the wait ended are served before of_run is called again.
        ServeHandOvers();
        if (CurrentState() == SERVICE_RUNNING) {
            const double start = ClockMs();
            double base = start;
            if (scheduled && start > due) base = start - (std::min)(start - due, kLatenessTakenBackMs);
            const DWORD period = CallRun();
            const double end = ClockMs();
            if (period == 0) {
                if (LoadRunFailure() == 0) NoteStopCame();
                SetEvent(StopEvent);
                RunInterval = 0;
            } else {
                // The period less the call's own time (rounded to whole milliseconds, as
                // the wait takes them), or no wait when the call took the whole period.
                const double elapsed = end - base + 0.5;
                RunInterval = elapsed >= period ? 0 : period - static_cast<DWORD>(elapsed);
                due = base + period;
            }
            scheduled = RunInterval != 0;
        } else {
            scheduled = false;
        }
        DWORD wait = RunInterval;
        if (wait == 0 && CurrentState() != SERVICE_RUNNING) wait = kPausedRecheckMs;
        if (WaitServingHandOvers(wait) != WAIT_TIMEOUT) return;
    }
}

}  // namespace

void WINAPI ServiceMain(DWORD, LPSTR*) {
    ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    ServiceStatus.dwControlsAccepted = WindowsControlsAccepted();
    ServiceStatus.dwWin32ExitCode = 0;
    ServiceStatus.dwServiceSpecificExitCode = 0;
    ServiceStatus.dwCheckPoint = 0;
    ServiceStatus.dwWaitHint = 0;

    // The event exists before the handler can be called, so no stop finds it missing.
    StopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);

    StatusHandle = RegisterServiceCtrlHandlerExA(ServiceSettings.ServiceName, ServiceControlHandler, nullptr);
    if (StatusHandle == nullptr) {
        WriteLogLine("Register control handler failed");
        ReportServiceEvent(kEventError, "Register control handler failed");
        return;
    }

    SetCurrentState(SERVICE_START_PENDING);
    ReportServiceStatus();

    // From here on a stop is bounded by StopTimeout, even one during a VM load that hangs.
    StartWatchdog();
    DWORD code = StartPowerBuilderHost();
    if (code != 0) {
        ReportStartFailure(code);
        return;
    }
    SetShutdownTime();
    code = CallStartup();
    if (code != 0) {
        ReportStartFailure(code);
        return;
    }
    // Unless a stop came during the start: the run loop then ends without calling of_run.
    SetRunningAfterStart();
    ReportServiceStatus();

    RunLoop();

    if (LoadRunFailure() != 0) {
        if (!ClaimServiceEnd()) AwaitServiceEnd();
        // Nothing more is called in the VM, for the control handler neither.
        CloseHandOvers();
        // of_run failed: the hosted object cannot be trusted to stop cleanly, so neither
        // of_stop nor a stop report follows.  The process ends at once, the Service
        // Control Manager sees the service end unexpectedly and applies its recovery
        // actions (a restart after two minutes, as installed).
        WriteLogLine("Service ended after of_run failed");
        ReportServiceEvent(kEventError, "Service ended after of_run failed");
        TerminateProcess(GetCurrentProcess(), kHostedObjectFailedExitCode);
        return;
    }

    // A stop control has reported stop pending already; a stop that of_run asked for
    // reports it here.  The controls queued before the stop are served, in order, then
    // none: a control that comes later calls nothing.
    if (SetStopPending()) ReportServiceStatus();
    ServeHandOvers();
    CloseHandOvers();
    CallStop();
    // The watchdog may have ended the stop already, when it took too long.
    if (!ClaimServiceEnd()) AwaitServiceEnd();
    HANDLE stopEvent = StopEvent;
    ReportStopped(0, 0);
    CloseHandle(stopEvent);
}
