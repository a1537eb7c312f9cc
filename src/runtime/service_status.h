// The service's status as it reports it to the Service Control Manager, and the event
// that ends its run loop.  Shared by the service-main thread and the control handler's
// thread without a lock: the current state is the only field both write, and it is one
// 32-bit word read and written whole through the accessors below.
#pragma once

#include <windows.h>

extern SERVICE_STATUS ServiceStatus;
extern SERVICE_STATUS_HANDLE StatusHandle;
extern HANDLE StopEvent;

// SetServiceStatus(StatusHandle, ServiceStatus); the result is not examined.
void ReportServiceStatus();

void SetCurrentState(DWORD state);
DWORD CurrentState();

// The controls the service accepts on this Windows version: stop, pause and continue,
// shutdown and power events, and session changes from Windows XP (5.1) on.
DWORD ControlsAcceptedFor(DWORD majorVersion, DWORD minorVersion);
