// Calls of the hosted object's functions.  Each looks its function up by name and
// signature (on every call: method ids are never kept), prepares a call record, sets the
// arguments, invokes the function on HostState.HostedObject, reads the result where
// there is one, releases the record and reports the outcome to the event log.  None of
// them writes to the log file.  All require a successful StartPowerBuilderHost.
#pragma once

// of_startup(service name, false).  0 when it returned 0; its non-zero long as it is;
// 1627 when the function is missing or could not be invoked.
unsigned long CallStartup();

// of_run().  The milliseconds until the next call, or 0 to stop.  A missing function,
// a failed invocation or a negative result also give 0, with HostState.RunFailure set.
unsigned long CallRun();

// of_stop(true when the stop came from a system shutdown), then ends the session and
// unloads the VM DLL.  Nothing of the host may be called afterwards.  Waits for a call
// of the functions below that is in progress on the control handler's thread.
void CallStop();

// The control handler's calls.  They never run at the same time as CallStop; once it
// has ended the host they call nothing and report nothing.
void CallPaused();   // of_paused(); reports "Service paused", found or not
void CallResumed();  // of_resumed(); reports "Service resumed", found or not
void CallControl(unsigned long code);             // of_control(code)
void CallPowerEvent(unsigned long eventType);     // of_powerevent(eventType)
void CallSessionChange(unsigned long eventType);  // of_sessionchg(eventType)
