// Calls into the hosted object that the control handler hands to the host's thread.
//
// The VM ties a session to the thread that created it, the service main's, and
// documents no safe way to enter it from another.  So the control handler never calls
// the VM itself: it hands the call to the service main's thread, which serves it between
// its calls of of_run, and waits until it has run.  One hand-over is served at a time.
#pragma once

#include <windows.h>

// Back to the process-start state: hand-overs are taken and wait to be served.
void OpenHandOvers();

// Has call(argument) run on the host's thread and returns once it has run.  Once
// CloseHandOvers has been called it calls nothing and returns at once.
void HandOverToHost(void (*call)(unsigned long), unsigned long argument);

// An auto-reset event, signalled when a hand-over waits: the host's thread waits on it
// beside its own events and then calls ServeHandOver.
HANDLE HandOverWaiting();

// On the host's thread: runs the hand-over that waits, if any, and lets its caller go on.
void ServeHandOver();

// On the host's thread, when the host is about to end: a hand-over that waits, and every
// later one, returns without having been run.
void CloseHandOvers();
