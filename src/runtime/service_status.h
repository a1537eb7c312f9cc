// The service's status as it reports it to the Service Control Manager, and the event
// that ends its run loop.  The current state is shared by the service main's thread, the
// control handler's and the status reporter's (below): it is one 32-bit word read and
// written whole through the accessors below.  Any of them may report; a report never
// holds a lock while it is sent.
#pragma once

#include <windows.h>

extern SERVICE_STATUS ServiceStatus;
extern SERVICE_STATUS_HANDLE StatusHandle;
extern HANDLE StopEvent;

// While the state is start, pause, continue or stop pending, every report carries this
// wait hint and a checkpoint one higher than the report before; a thread of its own, the
// status reporter, reports every kProgressIntervalMs meanwhile, so that the checkpoint
// advances while the host's thread is busy inside the VM (loading it, creating the
// session, in of_startup).  Other states are reported with hint and checkpoint 0.
const DWORD kPendingWaitHintMs = 2000;
const DWORD kProgressIntervalMs = 500;

// SetServiceStatus(StatusHandle, a copy of ServiceStatus with the current state); the
// result is not examined.  When the state has changed while the report was under way,
// it reports again, so that whatever thread reports last, the manager is left with the
// current state.  Once ReportStopped has begun, this reports nothing.
void ReportServiceStatus();

// Has the status reporter's thread make the report, for a thread that must not wait in
// SetServiceStatus (the host's: while the control handler runs, a report from another
// thread waits until the handler has returned).
void RequestServiceStatusReport();

// The service main's last report: waits for any report under way, then reports stopped
// with the exit codes.  No report can follow it.
void ReportStopped(DWORD win32ExitCode, DWORD serviceSpecificExitCode);

// Sets the state; a pending state wakes the status reporter.
void SetCurrentState(DWORD state);
DWORD CurrentState();

// Start pending to running, in one interlocked step; false, with the state left alone,
// when a stop came during the start.
bool SetRunningAfterStart();

// Running, paused, pause pending or continue pending, set only while the service is in
// one of these states, in one interlocked step: a control served or given up while the
// service stops cannot undo its stop pending or stopped state.
void SetPausedOrRunning(DWORD state);

// Stop pending, from any state but stopped; once set, nothing turns it back.  False
// when the state was stop pending already (or stopped).
bool SetStopPending();

// The controls the service accepts on this Windows version: stop, pause and continue,
// shutdown and power events, session changes from Windows XP (5.1) on, and pre-shutdown
// from Windows Vista (6.0) on.
DWORD ControlsAcceptedFor(DWORD majorVersion, DWORD minorVersion);
