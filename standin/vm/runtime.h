// Process-wide state of the stand-in VM: the settings read when the DLL was loaded, the
// journal, and the registry of the handles it has given out.
#pragma once

#include <cstdint>
#include <string>

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

// Group, class, object and call-record handles are addresses of Handle objects that are
// registered while they are alive, so that a wrong or stale handle from the host is
// reported instead of followed.  Each has a serial number that the journal shows as #n.
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
