#pragma once

#include <windows.h>

// The service main function that the dispatcher runs on a thread of its own: reports
// the start, starts the host and the hosted object, calls of_run on the schedule that
// of_run sets, and stops the hosted object at the end.
void WINAPI ServiceMain(DWORD argumentCount, LPSTR* arguments);
