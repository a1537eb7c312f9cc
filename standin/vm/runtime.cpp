#include "runtime.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace standin {

namespace {

std::atomic<unsigned> g_nextSerial{1};

std::mutex g_handlesLock;
std::unordered_set<const void*> g_handles;

// Read through a volatile pointer so that the compiler cannot see the null and turn the
// write into something other than a plain store.
volatile int* volatile g_nowhere = nullptr;

// The threads inside a VM call right now, once per call.
std::mutex g_insideLock;
std::vector<unsigned long> g_inside;

void hostError(const std::string& message) { journal(JournalLine("host-error").str(message)); }

}  // namespace

Handle::Handle(HandleKind k) : handleKind(k), serial(g_nextSerial++) {}

void registerHandle(Handle* h) {
    std::lock_guard<std::mutex> lock(g_handlesLock);
    g_handles.insert(h);
}

void unregisterHandle(Handle* h) {
    std::lock_guard<std::mutex> lock(g_handlesLock);
    g_handles.erase(h);
}

Handle* findHandle(const void* p, HandleKind kind) {
    if (!p) return nullptr;
    std::lock_guard<std::mutex> lock(g_handlesLock);
    if (g_handles.count(p) == 0) return nullptr;
    Handle* h = static_cast<Handle*>(const_cast<void*>(p));
    return h->handleKind == kind ? h : nullptr;
}

void produceFault(const Outcome& o) {
    switch (o.kind) {
    case Outcome::Kind::Raise:
        RaiseException(o.code, 0, 0, nullptr);
        break;
    case Outcome::Kind::AccessViolation:
        *g_nowhere = 1;
        break;
    case Outcome::Kind::MsvcThrow: {
        // Magic number, thrown object, throw info: an MSVC throw of a null object.
        ULONG_PTR parameters[3] = {0x19930520, 0, 0};
        RaiseException(kMsvcExceptionCode, EXCEPTION_NONCONTINUABLE, 3, parameters);
        break;
    }
    case Outcome::Kind::Return:
    case Outcome::Kind::Fail:
    case Outcome::Kind::Exception:
        break;
    }
}

VmCall::VmCall(std::string_view operation, const unsigned long* sessionThread) {
    unsigned long me = GetCurrentThreadId();
    unsigned long other = 0;
    {
        std::lock_guard<std::mutex> lock(g_insideLock);
        for (unsigned long t : g_inside)
            if (t != me) {
                other = t;
                break;
            }
        g_inside.push_back(me);
        inside_ = true;
    }
    std::string name(operation);
    if (other != 0)
        hostError(name + " on thread " + std::to_string(me) + " while thread " +
                  std::to_string(other) + " is inside the VM");
    if (sessionThread && *sessionThread != me)
        hostError(name + " on thread " + std::to_string(me) +
                  ", but the session was created on thread " + std::to_string(*sessionThread));
}

void VmCall::leave() {
    if (!inside_) return;
    inside_ = false;
    std::lock_guard<std::mutex> lock(g_insideLock);
    auto it = std::find(g_inside.begin(), g_inside.end(), GetCurrentThreadId());
    if (it != g_inside.end()) g_inside.erase(it);
}

void trapSlot(int slot, const char* interfaceName, const unsigned long* sessionThread) {
    {
        std::string operation = "slot " + std::to_string(slot) + " of " + interfaceName;
        VmCall call(operation, sessionThread);
        journal(JournalLine("unexpected").word("slot").num(slot).word("of").word(interfaceName));
    }
    RaiseException(kTrapCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

}  // namespace standin
