#pragma once

#include <windows.h>

// The milliseconds the run loop waits before its next turn (0 until of_run first returned).
extern DWORD RunInterval;

// The service main function that the dispatcher runs on a thread of its own: reports
// the start, starts the host and the hosted object, calls of_run on the schedule that
// of_run sets, and stops the hosted object at the end.
void WINAPI ServiceMain(DWORD argumentCount, LPSTR* arguments);

// The wait before the next call: the period of_run returned less the time the call took,
// or 0 when the call took the whole period or longer.  Unsigned arithmetic, so a wrap of
// the millisecond clock between the two readings still gives the right elapsed time.
DWORD NextRunInterval(DWORD period, DWORD startMs, DWORD endMs);
