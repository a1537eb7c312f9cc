#include "runtime/service_main.h"

#include "common/service_settings.h"
#include "diag/event_log.h"
#include "diag/log_file.h"
#include "pbhost/call_watch.h"
#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "pbhost/vm_startup.h"
#include "runtime/control_handler.h"
#include "runtime/hand_over.h"
#include "runtime/run_schedule.h"
#include "runtime/service_status.h"
#include "runtime/time_limits.h"

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

// Waits for StopEvent until the run loop's next turn, serving the control handler's
// hand-overs meanwhile (those queued during the call before it first); a hand-over does
// not lengthen the wait.  With a schedule, the turn is its next call, and every wait that
// times out tells it how late waits end; without one, the turn comes after fixedMs.
// WAIT_TIMEOUT when the turn has come; anything else (the event was signalled, or the
// wait failed) ends the run loop.
DWORD WaitServingHandOvers(RunSchedule* schedule, DWORD fixedMs) {
    const double fixedEnd = ClockMs() + fixedMs;
    const HANDLE events[2] = {StopEvent, HandOverWaiting()};
    for (;;) {
        const double begin = ClockMs();
        const double left = fixedEnd - begin;
        const DWORD timeout =
            schedule != nullptr ? schedule->WaitMs(begin) : left > 0 ? static_cast<DWORD>(left + 0.5) : 0;
        // A stop signalled together with a hand-over wins (the first event is reported):
        // the service main serves the queue before it stops the hosted object.
        const DWORD result = WaitForMultipleObjects(2, events, FALSE, timeout);
        if (result == WAIT_TIMEOUT && schedule != nullptr) schedule->WaitTimedOut(timeout, begin, ClockMs());
        if (result != WAIT_OBJECT_0 + 1) return result;
        ServeHandOvers();
    }
}

void RunLoop() {
    RunSchedule schedule;
    DWORD lastWait = 0;  // the wait after the last call, which a paused service waits too
    for (;;) {
        // Controls that came since the wait ended are served before of_run is called again.
        ServeHandOvers();
        bool scheduled = false;  // the next call ends a wait on the schedule
        if (CurrentState() == SERVICE_RUNNING) {
            schedule.CallBegins(ClockMs());
            const DWORD period = CallRun();
            if (period == 0) {
                if (LoadRunFailure() == 0) NoteStopCame();
                SetEvent(StopEvent);
            } else {
                scheduled = schedule.CallReturned(period, ClockMs());
            }
            lastWait = scheduled ? schedule.WaitMs(ClockMs()) : 0;
        } else {
            schedule.Forget();
        }
        DWORD fixed = 0;  // no call scheduled: of_run at once, or, while paused, a look again later
        if (!scheduled && CurrentState() != SERVICE_RUNNING) fixed = lastWait != 0 ? lastWait : kPausedRecheckMs;
        if (WaitServingHandOvers(scheduled ? &schedule : nullptr, fixed) != WAIT_TIMEOUT) return;
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
