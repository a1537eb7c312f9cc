#include "pbhost/call_watch.h"

#include "common/critical_section.h"

namespace {

CriticalSection Watch;
HostedCall Running = {nullptr, 0, 0};  // inside Watch
unsigned long Calls = 0;               // inside Watch
volatile LONG EndClaimed = 0;

}  // namespace

void BeginHostedCall(const char* name) {
    const CriticalSectionTurn turn(Watch);
    Running.name = name;
    Running.startTick = GetTickCount();
    Running.sequence = ++Calls;
}

void EndHostedCall() {
    {
        const CriticalSectionTurn turn(Watch);
        Running.name = nullptr;
    }
    if (EndClaimed != 0) AwaitServiceEnd();
}

bool HostedCallRunning(HostedCall* call) {
    const CriticalSectionTurn turn(Watch);
    if (Running.name == nullptr) return false;
    *call = Running;
    return true;
}

bool ClaimServiceEnd() { return InterlockedCompareExchange(&EndClaimed, 1, 0) == 0; }

void AwaitServiceEnd() {
    for (;;) Sleep(INFINITE);
}
