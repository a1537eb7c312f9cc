#include "runtime/hand_over.h"

#include <new>

#include "common/critical_section.h"
#include "runtime/service_status.h"

namespace {

// A queued call.  Owned by the queue (until it has run or been dropped) and by the
// handler that waits for it (until it stops waiting); the last owner frees it.
struct HandOver {
    HostCall call;
    HANDLE done;      // set once it has run or been dropped
    LONG owners;
    bool finished;    // it has run or been dropped; guarded by State
    bool late;        // the handler stopped waiting first; guarded by State
    HandOver* next;   // guarded by State
};

void Release(HandOver* handOver) {
    if (InterlockedDecrement(&handOver->owners) != 0) return;
    if (handOver->done != nullptr) CloseHandle(handOver->done);
    delete handOver;
}

// An event that lives as long as the process: made before main, never closed.
struct WaitingEvent {
    WaitingEvent() : handle(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    HANDLE handle;
};
WaitingEvent Waiting;

// Guards the queue, Closed and the flags of the calls in it.  The state changes that
// belong to a call (pending when the handler gives up, served when it has run) are made
// inside it too, so that the two cannot pass each other.
CriticalSection State;
HandOver* First = nullptr;
HandOver* Last = nullptr;
bool Closed = false;

HandOver* TakeFirst() {
    const CriticalSectionTurn turn(State);
    HandOver* taken = First;
    if (taken != nullptr) {
        First = taken->next;
        if (First == nullptr) Last = nullptr;
    }
    return taken;
}

// Drops every queued call: its handler, if it still waits, goes on.
void DropQueued() {
    HandOver* dropped;
    {
        const CriticalSectionTurn turn(State);
        dropped = First;
        First = Last = nullptr;
        for (HandOver* h = dropped; h != nullptr; h = h->next) h->finished = true;
    }
    while (dropped != nullptr) {
        HandOver* next = dropped->next;
        SetEvent(dropped->done);
        Release(dropped);
        dropped = next;
    }
}

}  // namespace

void OpenHandOvers() {
    DropQueued();
    const CriticalSectionTurn turn(State);
    Closed = false;
    ResetEvent(Waiting.handle);
}

void HandOverToHost(const HostCall& call) {
    // Without memory for the queue the control is dropped: the handler must not block.
    HandOver* handOver = new (std::nothrow) HandOver();
    if (handOver == nullptr) return;
    handOver->call = call;
    // Without an event the wait below fails at once and the call is served late.
    handOver->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    handOver->owners = 2;
    bool queued;
    {
        const CriticalSectionTurn turn(State);
        queued = !Closed;
        if (queued) {
            if (Last != nullptr) Last->next = handOver; else First = handOver;
            Last = handOver;
        }
    }
    if (!queued) {
        handOver->owners = 1;
        Release(handOver);
        return;
    }
    SetEvent(Waiting.handle);
    if (WaitForSingleObject(handOver->done, kHandOverWaitMs) != WAIT_OBJECT_0) {
        const CriticalSectionTurn turn(State);
        if (!handOver->finished) {
            handOver->late = true;
            if (call.pendingState != 0) SetPausedOrRunning(call.pendingState);
        }
    }
    Release(handOver);
}

HANDLE HandOverWaiting() { return Waiting.handle; }

void ServeHandOvers() {
    while (HandOver* handOver = TakeFirst()) {
        handOver->call.call(handOver->call.argument);
        bool late;
        {
            const CriticalSectionTurn turn(State);
            handOver->finished = true;
            late = handOver->late;
            if (handOver->call.servedState != 0) SetPausedOrRunning(handOver->call.servedState);
        }
        SetEvent(handOver->done);
        // The handler has answered already; the new state is reported by the status
        // reporter, so that this thread never waits in SetServiceStatus for a handler
        // that runs meanwhile.
        if (late && handOver->call.servedState != 0) RequestServiceStatusReport();
        Release(handOver);
    }
}

void CloseHandOvers() {
    {
        const CriticalSectionTurn turn(State);
        Closed = true;
    }
    DropQueued();
}
