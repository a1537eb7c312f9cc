// Process-wide state of the stand-in VM: the settings read when the DLL was loaded, the
// journal, and the registry of the handles it has given out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "standin/journal_text.h"
#include "standin/outcome.h"
#include "standin/settings.h"

namespace standin {

const Settings& settings();

// Appends "<ms> <thread id> <line>\r\n" to the journal.
void journal(const JournalLine& line);

// Makes the call go wrong the way o says (Raise, AccessViolation or MsvcThrow); returns
// only when a handler continued a raised exception.
void produceFault(const Outcome& o);

// One call from the host into the VM, from entry to return, on any of its interfaces.
// Entering journals a host-error line when another thread is inside the VM at that moment,
// and, given the thread that created the session the call belongs to, when the call comes
// from another thread.  The call goes on either way.  operation names the call in those
// lines.  leave() must come before a structured exception is raised: the host's handler
// unwinds this DLL's frames without running destructors.
class VmCall {
public:
    // sessionThread: the thread that created the session, or null for a call on the VM.
    VmCall(std::string_view operation, const unsigned long* sessionThread);
    ~VmCall() { leave(); }
    VmCall(const VmCall&) = delete;
    VmCall& operator=(const VmCall&) = delete;

    void leave();

private:
    bool inside_ = false;
};

// A slot of a VM interface that the host should never call (the Unused slots of pbni.h):
// journals `unexpected slot <n> of <interface>` and raises kTrapCode, noncontinuable.
// sessionThread is null for the VM itself.
const unsigned long kTrapCode = 0xE0510700UL;
void trapSlot(int slot, const char* interfaceName, const unsigned long* sessionThread);

// Group, class and object handles are addresses of Handle objects that are registered while
// they are alive, so that a wrong or stale handle from the host is reported instead of
// followed.  Sessions and prepared call records (found through their pArgs, session.cpp)
// are Handles too.  Each has a serial number that the journal shows as #n.
enum class HandleKind { Group, Class, Object, Record, Session };

struct Handle {
    explicit Handle(HandleKind k);
    HandleKind handleKind;
    unsigned serial;
};

void registerHandle(Handle* h);
void unregisterHandle(Handle* h);
Handle* findHandle(const void* p, HandleKind kind);

template <class T>
T* findAs(const void* p, HandleKind kind) {
    return static_cast<T*>(findHandle(p, kind));
}

// #serial for a known handle, otherwise null or ?0xADDRESS for what the host passed.
inline JournalLine& putHandle(JournalLine& line, const void* raw, const Handle* known) {
    return known ? line.handle(known->serial)
                 : line.unknownHandle(reinterpret_cast<std::uintptr_t>(raw));
}

}  // namespace standin
