#include "runtime/hand_over.h"

#include "common/critical_section.h"

namespace {

struct HandOver {
    void (*call)(unsigned long);
    unsigned long argument;
};

// Events that live as long as the process: made before main, never closed.
struct HandOverEvents {
    HandOverEvents()
        : waiting(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          done(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    HANDLE waiting;  // a hand-over has been posted
    HANDLE done;     // the posted hand-over has been served or turned away
};

HandOverEvents Events;
CriticalSection Callers;  // one hand-over at a time
CriticalSection State;    // guards the two below
HandOver* Pending = nullptr;
bool Closed = false;

HandOver* TakePending() {
    const CriticalSectionTurn turn(State);
    HandOver* taken = Pending;
    Pending = nullptr;
    return taken;
}

}  // namespace

void OpenHandOvers() {
    const CriticalSectionTurn turn(State);
    Closed = false;
    Pending = nullptr;
    ResetEvent(Events.waiting);
    ResetEvent(Events.done);
}

void HandOverToHost(void (*call)(unsigned long), unsigned long argument) {
    const CriticalSectionTurn caller(Callers);
    HandOver handOver = {call, argument};
    {
        const CriticalSectionTurn turn(State);
        if (Closed) return;
        Pending = &handOver;
    }
    SetEvent(Events.waiting);
    WaitForSingleObject(Events.done, INFINITE);
}

HANDLE HandOverWaiting() { return Events.waiting; }

void ServeHandOver() {
    HandOver* handOver = TakePending();
    if (handOver == nullptr) return;
    handOver->call(handOver->argument);
    SetEvent(Events.done);
}

void CloseHandOvers() {
    {
        const CriticalSectionTurn turn(State);
        Closed = true;
    }
    if (TakePending() != nullptr) SetEvent(Events.done);
}
