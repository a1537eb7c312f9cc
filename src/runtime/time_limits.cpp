#include "runtime/time_limits.h"

#include <cstdio>

#include "common/critical_section.h"
#include "common/service_settings.h"
#include "common/win_handles.h"
#include "diag/event_log.h"
#include "diag/hang_dump.h"
#include "diag/log_file.h"
#include "pbhost/call_watch.h"
#include "runtime/service_status.h"

TimeLimitSettings TimeLimits = {0, 0};

namespace {

struct StopMark {
    bool came;
    DWORD tick;                  // when it came
    unsigned long callSequence;  // the call running then; 0: none
};

CriticalSection StopLock;
StopMark Stop = {false, 0, 0};  // inside StopLock

// Made before main, never closed: signalled when the stop comes.
struct WatchEvent {
    WatchEvent() : handle(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    HANDLE handle;
};
WatchEvent StopCame;

StopMark LoadStop() {
    const CriticalSectionTurn turn(StopLock);
    return Stop;
}

void LogAndReport(unsigned short kind, const char* text) {
    WriteLogLine(text);
    ReportServiceEvent(kind, text);
}

// Ends the service once a stop has come: reported stopped with 0, then the process ends.
void EndStopped() {
    ReportStopped(0, 0);
    TerminateProcess(GetCurrentProcess(), 0);
}

void EndHungCall(const char* name) {
    char text[96];
    std::snprintf(text, sizeof text, "%s did not return within %lu seconds", name, TimeLimits.runSeconds);
    LogAndReport(kEventError, text);
    WriteHangDump();
    // A stop that came while the dump was written is honoured too: no restart after it.
    if (LoadStop().came) EndStopped();
    TerminateProcess(GetCurrentProcess(), kHungCallExitCode);
}

void EndStopTimedOut() {
    char text[80];
    std::snprintf(text, sizeof text, "The application did not stop within %lu seconds", TimeLimits.stopSeconds);
    LogAndReport(kEventWarning, text);
    EndStopped();
}

// What is left of a limit of limitMs that began at startTick; 0 when it has run out.
DWORD Left(DWORD startTick, unsigned long limitMs, DWORD now) {
    const DWORD elapsed = now - startTick;  // right across the tick count's wrap
    return elapsed >= limitMs ? 0 : limitMs - elapsed;
}

// The watchdog: sleeps until the nearest limit could run out, then looks again.  With no
// call running it looks again after a whole RunTimeout, since a call that begins later
// cannot run out sooner; so it wakes at most once per call, never on a fixed beat.
DWORD WINAPI Watch(LPVOID) {
    const unsigned long runMs = TimeLimits.runSeconds * 1000;
    const unsigned long stopMs = TimeLimits.stopSeconds * 1000;
    for (;;) {
        const StopMark stop = LoadStop();
        HostedCall call;
        const bool running = HostedCallRunning(&call);
        const DWORD now = GetTickCount();
        DWORD wait = INFINITE;
        if (runMs != 0 && !(stop.came && (!running || call.sequence != stop.callSequence))) {
            if (running) {
                wait = Left(call.startTick, runMs, now);
                if (wait == 0) {
                    if (ClaimServiceEnd()) EndHungCall(call.name);
                    return 0;
                }
            } else {
                wait = runMs;
            }
        }
        if (stopMs != 0 && stop.came) {
            const DWORD left = Left(stop.tick, stopMs, now);
            if (left == 0) {
                if (ClaimServiceEnd()) EndStopTimedOut();
                return 0;
            }
            if (left < wait) wait = left;
        }
        WaitForSingleObject(StopCame.handle, wait);
    }
}

}  // namespace

void StartWatchdog() {
    if (TimeLimits.runSeconds == 0 && TimeLimits.stopSeconds == 0) return;
    // A small stack: the watchdog calls little, and the dump runs on a thread of its own.
    const HANDLE thread = CreateThread(nullptr, 256 * 1024, Watch, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

void NoteStopCame() {
    {
        const CriticalSectionTurn turn(StopLock);
        if (Stop.came) return;
        HostedCall call;
        Stop.came = true;
        Stop.tick = GetTickCount();
        Stop.callSequence = HostedCallRunning(&call) ? call.sequence : 0;
    }
    SetEvent(StopCame.handle);
}

void SetShutdownTime() {
    if (TimeLimits.stopSeconds == 0 || (ServiceStatus.dwControlsAccepted & SERVICE_ACCEPT_PRESHUTDOWN) == 0) return;
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_CONNECT));
    UniqueServiceHandle service;
    if (manager) service.reset(OpenServiceA(manager.get(), ServiceSettings.ServiceName, SERVICE_CHANGE_CONFIG));
    SERVICE_PRESHUTDOWN_INFO info = {(TimeLimits.stopSeconds + kShutdownMarginSeconds) * 1000};
    if (service && ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_PRESHUTDOWN_INFO, &info)) return;
    char text[64];
    std::snprintf(text, sizeof text, "The time at shutdown could not be set (error %lu)", GetLastError());
    WriteLogLine(text);
}
