#include "runtime/service_main.h"

#include <mmsystem.h>

#include "cli/settings.h"
#include "diag/event_log.h"
#include "diag/log_file.h"
#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "pbhost/vm_startup.h"
#include "runtime/control_handler.h"
#include "runtime/service_status.h"

DWORD RunInterval = 0;

namespace {

// How often a paused service whose last interval was 0 looks at its state again, so
// that it waits rather than spins until it is continued or stopped.
const DWORD kPausedRecheckMs = 100;

// The process's exit code when it ends after a failed of_run without reporting a stop.
const UINT kRunFailedExitCode = 1627;

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
    ServiceStatus.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    ServiceStatus.dwServiceSpecificExitCode = code;
    SetCurrentState(SERVICE_STOPPED);
    ReportServiceStatus();
}

void RunLoop() {
    RunInterval = 0;
    for (;;) {
        if (CurrentState() == SERVICE_RUNNING) {
            const DWORD start = timeGetTime();
            const DWORD period = CallRun();
            const DWORD end = timeGetTime();
            if (period == 0) {
                SetEvent(StopEvent);
                RunInterval = 0;
            } else {
                RunInterval = NextRunInterval(period, start, end);
            }
        }
        DWORD wait = RunInterval;
        if (wait == 0 && CurrentState() != SERVICE_RUNNING) wait = kPausedRecheckMs;
        if (WaitForSingleObject(StopEvent, wait) != WAIT_TIMEOUT) return;
    }
}

}  // namespace

DWORD NextRunInterval(DWORD period, DWORD startMs, DWORD endMs) {
    const DWORD elapsed = endMs - startMs;
    return elapsed >= period ? 0 : period - elapsed;
}

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

    DWORD code = StartPowerBuilderHost();
    if (code != 0) {
        ReportStartFailure(code);
        return;
    }
    code = CallStartup();
    if (code != 0) {
        ReportStartFailure(code);
        return;
    }
    SetCurrentState(SERVICE_RUNNING);
    ReportServiceStatus();

    RunLoop();

    if (LoadRunFailure() != 0) {
        // of_run failed: the hosted object cannot be trusted to stop cleanly, so neither
        // of_stop nor a stop report follows.  The process ends at once, the Service
        // Control Manager sees the service end unexpectedly and applies its recovery
        // actions (a restart after two minutes, as installed).
        WriteLogLine("Service ended after of_run failed");
        ReportServiceEvent(kEventError, "Service ended after of_run failed");
        TerminateProcess(GetCurrentProcess(), kRunFailedExitCode);
        return;
    }

    SetCurrentState(SERVICE_STOP_PENDING);
    ReportServiceStatus();
    CallStop();
    ServiceStatus.dwWin32ExitCode = 0;
    ServiceStatus.dwServiceSpecificExitCode = 0;
    SetCurrentState(SERVICE_STOPPED);
    HANDLE stopEvent = StopEvent;
    ReportServiceStatus();
    CloseHandle(stopEvent);
}
