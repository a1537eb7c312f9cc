// The time limits on the application: RunTimeout bounds each call of a hosted function
// that began before a stop, StopTimeout the whole stop (the call still running, the
// queued controls and of_stop together), counted from the moment the stop came.  A
// watchdog thread ends the service when one of them runs out, so that a hung application
// never holds the service:
//
// - a call that ran out of RunTimeout before a stop: the line and error event "<function>
//   did not return within <N> seconds", a memory dump, then the process ends with exit
//   code 1460 without a stop report, so that the recovery actions apply;
// - once a stop has come, whichever limit runs out first ends the service with its line
//   ("The application did not stop within <N> seconds", a warning, for StopTimeout), and
//   reports it stopped with exit code 0: the stop was asked for, and no restart follows.
#pragma once

#include <windows.h>

struct TimeLimitSettings {
    unsigned long runSeconds;   // 0: no limit
    unsigned long stopSeconds;  // 0: no limit
};

// Set by service mode before the dispatcher starts.
extern TimeLimitSettings TimeLimits;

// ERROR_TIMEOUT: the exit code of a process ended because a call did not return.
const unsigned int kHungCallExitCode = 1460;

// The pre-shutdown time the service gives itself beyond StopTimeout, for the stop report.
const unsigned long kShutdownMarginSeconds = 5;

// Starts the watchdog's thread, when a limit is set.  Called once, before the VM is loaded.
void StartWatchdog();

// A stop came: a stop, shutdown or pre-shutdown control, or of_run asking for it.  The
// first one starts StopTimeout and marks the call running then as the last one that
// RunTimeout bounds.
void NoteStopCame();

// With StopTimeout set, on Windows that knows pre-shutdown: sets the service's own
// pre-shutdown time to StopTimeout + 5 s, so that at a reboot the application gets its
// time.  Logs "The time at shutdown could not be set (error <n>)" where the service's
// account may not, and goes on.
void SetShutdownTime();
