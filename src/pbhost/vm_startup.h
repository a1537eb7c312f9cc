// Bringing the PowerBuilder application up: the VM DLL, the session over the library
// list, and the one hosted object.
#pragma once

// The result of every failed start-up step (ERROR_FUNCTION_FAILED).
const unsigned long kHostStartFailed = 1627;

// Enters the application's working folder (PBWorkDir, or the first library's folder),
// fails with ServiceSettings.StartRefusal when service mode found a setting to refuse
// (the log file can be written now, even under a relative name), then loads the VM DLL named by ServiceSettings.PBVMName, obtains the VM, creates the
// session for PBAppName over the library list (the PBLibList value, or the file it
// names), finds the class PBObjName and creates the hosted object, filling HostState.
// Logs each stage; logs and reports each failure.  0 on success, else 1627.
unsigned long StartPowerBuilderHost();
