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
    pbni::IPB_VM* Vm;
    pbni::IPB_Session* Session;
    pbni::pbclass HostedClass;
    pbni::pbobject HostedObject;
    volatile LONG RunFailure;  // 100 after a failed of_run, 0 after a good one
    volatile LONG StopReason;  // the service control that ended the service, 0 before
};

extern HostStateRecord HostState;

// Puts the record back into its process-start state (for the tests; a process starts
// in that state anyway).  It releases nothing.
void ResetHostState();

const LONG kRunFailed = 100;
const unsigned long kShutdownControl = 5;  // SERVICE_CONTROL_SHUTDOWN

inline void StoreStopReason(unsigned long control) {
    InterlockedExchange(&HostState.StopReason, static_cast<LONG>(control));
}
inline unsigned long LoadStopReason() { return static_cast<unsigned long>(HostState.StopReason); }

inline void StoreRunFailure(long value) { InterlockedExchange(&HostState.RunFailure, value); }
inline long LoadRunFailure() { return HostState.RunFailure; }
