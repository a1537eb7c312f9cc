#include "runtime.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <unordered_set>

namespace standin {

namespace {

std::atomic<unsigned> g_nextSerial{1};

std::mutex g_handlesLock;
std::unordered_set<const void*> g_handles;

// Read through a volatile pointer so that the compiler cannot see the null and turn the
// write into something other than a plain store.
volatile int* volatile g_nowhere = nullptr;

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
        break;
    }
}

}  // namespace standin
