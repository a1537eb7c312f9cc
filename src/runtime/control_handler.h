#pragma once

#include <windows.h>

// The service's extended control handler: has the hosted object's function for each
// control run on the service main's thread and waits for it (a pause or continue moves
// the state there too), then reports the state; a stop or shutdown only records the
// reason and ends the run loop.  Always returns NO_ERROR: no control is refused.
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
