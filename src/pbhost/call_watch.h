// The hosted function that the host's thread is running, for the watchdog that ends the
// service when a call does not return (runtime/time_limits.h); and the one claim to end
// the service, which every thread that would end it takes first.
#pragma once

#include <windows.h>

struct HostedCall {
    const char* name;  // the hosted function, e.g. "of_run"
    DWORD startTick;   // GetTickCount() when it began
    unsigned long sequence;  // counts the calls, from 1
};

// Around each call of a hosted function, on the host's thread.  EndHostedCall does not
// return once another thread has claimed the service's end: the process is about to end,
// and the host's thread must not call or report anything more meanwhile.
void BeginHostedCall(const char* name);
void EndHostedCall();

// The call running now; false when none runs.
bool HostedCallRunning(HostedCall* call);

// True for the first caller only.  A thread that ends the service (reports it stopped,
// or ends the process on purpose) claims that first; one that does not get the claim
// leaves the end to the thread that has it.
bool ClaimServiceEnd();

// For a thread that lost the claim: waits for the end that the other thread brings.
void AwaitServiceEnd();
