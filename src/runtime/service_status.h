// The service's status as it reports it to the Service Control Manager, and the event
// that ends its run loop.  Shared by the service-main thread, which writes the current
// state (pauses and continues included, as the handler hands them over), and the control
// handler's thread, which reports it: it is one 32-bit word read and written whole
// through the accessors below; the reports themselves are made one at a time.
#pragma once

#include <windows.h>

extern SERVICE_STATUS ServiceStatus;
extern SERVICE_STATUS_HANDLE StatusHandle;
extern HANDLE StopEvent;

// SetServiceStatus(StatusHandle, a copy of ServiceStatus); the result is not examined.
// Reports are made one at a time, each with the record as it is when its turn comes;
// once the service main has begun to report the end, this reports nothing.
void ReportServiceStatus();

// The service main's reports of the end: stop pending, and stopped (after a stop or a
// failed start).  Sets the state and reports it, after any report in progress; from the
// first of them on ReportServiceStatus reports nothing, so that the end's reports are
// the last the Service Control Manager receives.
void ReportEndState(DWORD state);

void SetCurrentState(DWORD state);
DWORD CurrentState();

// A pause or continue: sets the state (paused or running) only while the service is
// running or paused, in one interlocked step, so that a control handled while the
// service stops cannot undo its stop-pending or stopped report.
void SetPausedOrRunning(DWORD state);

// The controls the service accepts on this Windows version: stop, pause and continue,
// shutdown and power events, and session changes from Windows XP (5.1) on.
DWORD ControlsAcceptedFor(DWORD majorVersion, DWORD minorVersion);
