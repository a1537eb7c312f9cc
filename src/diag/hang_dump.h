// A memory dump of the service process, written when a call into the application does
// not return, so that the application's developers can see in a debugger where it hung.
#pragma once

#include <string>
#include <vector>

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

// The dump's file name for a service and local time: the service name with the characters
// no file name may hold (control characters and <>:"/\|?*) replaced by '_', then
// "-yyyymmdd-hhmmss.dmp".
std::string DumpFileName(const char* serviceName, unsigned year, unsigned month, unsigned day, unsigned hour,
                         unsigned minute, unsigned second);

// Of the file names in a folder, those of older dumps of the service (named as
// DumpFileName names them) beyond the kept newest ones: the files to delete.
std::vector<std::string> DumpsToDelete(const char* serviceName, std::vector<std::string> fileNames);
