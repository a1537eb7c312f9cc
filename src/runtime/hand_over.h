// Calls into the hosted object that the control handler hands to the host's thread.
//
// The VM ties a session to the thread that created it, the service main's, and
// documents no safe way to enter it from another.  So the control handler never calls
// the VM itself: it queues the call for the service main's thread, which serves the
// queue in order between its calls of of_run, and waits for it a second at most: a long
// of_run must not keep the Service Control Manager waiting for the handler's answer.  A
// call that has not run by then stays queued and runs later all the same, once.
#pragma once

#include <windows.h>

// How long the handler waits for its call to run on the host's thread.
const DWORD kHandOverWaitMs = 1000;

struct HostCall {
    void (*call)(unsigned long);
    unsigned long argument;
    DWORD pendingState;  // shown while it waits after the handler went on (0: none)
    DWORD servedState;   // set once it has run (0: none)
};

// Back to the process-start state: the queue is open and empty.
void OpenHandOvers();

// Queues the call for the host's thread and waits until it has run, at most
// kHandOverWaitMs.  When it has not run by then, the state becomes its pendingState;
// once it has run, its servedState is set (before this returns, when it ran in time) and
// reported by the status reporter when the handler had gone on.  Both only move the
// service between running, paused and their pending states (SetPausedOrRunning).  Once
// CloseHandOvers has been called it queues nothing and returns at once.
void HandOverToHost(const HostCall& call);

// An auto-reset event, signalled when a call is queued: the host's thread waits on it
// beside its own events and then calls ServeHandOvers.
HANDLE HandOverWaiting();

// On the host's thread: runs the queued calls, in the order they were queued, until the
// queue is empty.
void ServeHandOvers();

// On the host's thread, when the host is about to end: the queued calls are dropped
// without having run, and later ones are not queued.
void CloseHandOvers();
