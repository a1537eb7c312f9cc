#pragma once

#include <windows.h>

// The milliseconds the run loop waits before its next turn (0 until of_run first returned).
extern DWORD RunInterval;

// The service main function that the dispatcher runs on a thread of its own: reports
// the start, starts the host and the hosted object, calls of_run on the schedule that
// of_run sets, and stops the hosted object at the end.
void WINAPI ServiceMain(DWORD argumentCount, LPSTR* arguments);
