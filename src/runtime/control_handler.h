#pragma once

#include <windows.h>

// The service's extended control handler: has the hosted object's function for each
// control run on the service main's thread and waits for it a second at most (a pause
// or continue not served by then shows as pending), then reports the state; a stop,
// shutdown or pre-shutdown sets stop pending, records the reason and ends the run loop.
// Answers within the hand-over's wait whatever the host's thread is doing, and always
// returns NO_ERROR: no control is refused.
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
