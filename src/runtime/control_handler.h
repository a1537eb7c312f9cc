#pragma once

#include <windows.h>

// The service's extended control handler: passes each control on to the hosted object,
// keeps the current state up to date and reports it; a stop or shutdown records the
// reason and ends the run loop.  Always returns NO_ERROR: no control is refused.
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
