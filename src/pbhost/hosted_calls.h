// Calls of the hosted object's functions.  Each looks its function up by name and
// signature (on every call: method ids are never kept), prepares a call record, sets the
// arguments, invokes the function on HostState.HostedObject, asks whether PowerScript
// threw (an exception counts as a failed call, reported as "PowerScript exception in
// <function>"), reads the result where there is one, releases the record and reports the
// outcome to the event log.  All require a successful StartPowerBuilderHost, and all
// must be called on the thread that started the host, one at a time: the VM ties a
// session to the thread that created it.
//
// Every call into the VM is guarded against structured exceptions (an access violation,
// a raised exception, an MSVC C++ throw).  A fault is written to the log file and
// reported as the error "Exception 0x%08X in <function>"; nothing more is called in the
// VM after it, and each operation below says how the service goes on.
#pragma once

// The exit code of a service process that ends without a stop report because the hosted
// object failed (ERROR_FUNCTION_FAILED), so that the recovery actions apply.
const unsigned int kHostedObjectFailedExitCode = 1627;

// of_startup(service name, false).  0 when it returned 0; its non-zero long as it is;
// 1627 when the function is missing, could not be invoked, threw or faulted.
unsigned long CallStartup();

// of_run().  The milliseconds until the next call, or 0 to stop.  A missing function,
// a failed invocation, an exception, a fault or a negative result also give 0, with
// HostState.RunFailure set.
unsigned long CallRun();

// of_stop(true when the stop came from a system shutdown), then ends the session and
// unloads the VM DLL; after a fault in any of these the rest is left undone.  Nothing of
// the host may be called afterwards.
void CallStop();

// The calls for the control handler, which hands them to the host's thread.  Once
// CallStop has ended the host they call nothing and report nothing.  After a fault the
// process ends at once, without a stop report.
void CallPaused();   // of_paused(); reports "Service paused", found or not
void CallResumed();  // of_resumed(); reports "Service resumed", found or not
void CallControl(unsigned long code);             // of_control(code)
void CallPowerEvent(unsigned long eventType);     // of_powerevent(eventType)
void CallSessionChange(unsigned long eventType);  // of_sessionchg(eventType)
