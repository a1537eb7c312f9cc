// A memory dump of the service process, written when a call into the application does
// not return, so that the application's developers can see in a debugger where it hung.
#pragma once

// How long the dump may take before the process ends without it, and how many dumps of
// one service are kept.
const unsigned long kDumpTimeLimitMs = 30000;
const unsigned kDumpsKept = 5;

// Writes a minidump of this process, with every thread's stack and the module list, to
// <folder of the log file>\<service name>-<yyyymmdd-hhmmss>.dmp, keeps the kDumpsKept
// newest dumps of the service in that folder, and logs "Memory dump written to <path>" or
// "Memory dump could not be written (error <n>)".  dbghelp.dll is loaded only now, from
// the system folder by its full path.  Returns within kDumpTimeLimitMs (error 1460 when
// the dump is not done by then).
void WriteHangDump();
