// The process-wide state of the PowerBuilder host.
//
// StartPowerBuilderHost fills the handles once, in the order they are declared, on the
// service-main thread; the hosted-object calls read them afterwards, on that thread only.
// StopReason is written by the control handler's thread and read by the service main's;
// it and RunFailure are volatile and written with interlocked exchanges, so that neither
// the compiler nor the processor can keep a stale copy; use the helpers below rather
// than the fields.
#pragma once

#include <windows.h>

#include "pbhost/pbni.h"

struct HostStateRecord {
    HMODULE VmModule;
    bool Unicode;   // the VM speaks the interface of PowerBuilder 10 and later
    void* Vm;       // pbni::IPB_VM, or pbni::IPB_VM10 when Unicode
    void* Session;  // pbni::IPB_SessionT<char>, or <wchar_t> when Unicode: see WithSession
    pbni::pbclass HostedClass;
    pbni::pbobject HostedObject;
    volatile LONG RunFailure;  // 100 after a failed of_run, 0 after a good one
    volatile LONG StopReason;  // the service control that ended the service, 0 before
};

extern HostStateRecord HostState;

// Puts the record back into its process-start state (for the tests; a process starts
// in that state anyway).  It releases nothing.
void ResetHostState();

// Returns call(session), with the session typed for the string type of the VM's
// generation, so that one generic call serves both.
template <class Call>
auto WithSession(Call call) -> decltype(call(static_cast<pbni::IPB_SessionT<char>*>(nullptr))) {
    if (HostState.Unicode) return call(static_cast<pbni::IPB_SessionT<wchar_t>*>(HostState.Session));
    return call(static_cast<pbni::IPB_SessionT<char>*>(HostState.Session));
}

const LONG kRunFailed = 100;
const unsigned long kShutdownControl = 5;  // SERVICE_CONTROL_SHUTDOWN

inline void StoreStopReason(unsigned long control) {
    InterlockedExchange(&HostState.StopReason, static_cast<LONG>(control));
}
inline unsigned long LoadStopReason() { return static_cast<unsigned long>(HostState.StopReason); }

inline void StoreRunFailure(long value) { InterlockedExchange(&HostState.RunFailure, value); }
inline long LoadRunFailure() { return HostState.RunFailure; }
