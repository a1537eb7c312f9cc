#include "cli/service_mode.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "common/service_settings.h"
#include "diag/event_log.h"
#include "registration/param_store.h"
#include "runtime/service_main.h"

bool BuildDefaultLogFileName(const char* windowsDirectory, const char* serviceName, char* field,
                             unsigned long capacity) {
    const std::string path = std::string(windowsDirectory) + "\\" + serviceName + ".log";
    return CopyToField(field, capacity, path.c_str());
}

namespace {

// Reads one required parameter; false, after the error event, when it cannot be read.
bool ReadRequired(const char* valueName, char* field, unsigned long size) {
    if (GetRegString(valueName, size, field) != 0) return true;
    const std::string message = std::string("GetRegString ") + valueName + " failed";
    ReportServiceEvent(kEventError, message.c_str());
    return false;
}

}  // namespace

void RunServiceMode() {
    ServiceSettingsRecord& s = ServiceSettings;
    if (!ReadRequired("PBLibList", s.PBLibList, sizeof s.PBLibList)) return;
    if (!ReadRequired("PBAppName", s.PBAppName, sizeof s.PBAppName)) return;
    if (!ReadRequired("PBObjName", s.PBObjName, sizeof s.PBObjName)) return;

    std::memset(s.LogFileName, 0, sizeof s.LogFileName);
    if (GetRegString("LogFileName", sizeof s.LogFileName, s.LogFileName) == 0) {
        char windowsDirectory[MAX_PATH] = {0};
        GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
        if (!BuildDefaultLogFileName(windowsDirectory, s.ServiceName, s.LogFileName,
                                     sizeof s.LogFileName)) {
            // A cut path would name another file; the service does not start instead.
            ReportServiceEvent(kEventError, "Log file name is too long");
            return;
        }
    }

    if (GetRegString("EventLog", sizeof s.EventLog, s.EventLog) == 0) {
        CopyToField(s.EventLog, "true");
    }

    // The field holds the default name at start; it is cleared for the read, since a stored
    // value need not end with a zero, and the default comes back when there is none.
    std::memset(s.PBVMName, 0, sizeof s.PBVMName);
    if (GetRegString("PBVMName", sizeof s.PBVMName, s.PBVMName) == 0) {
        CopyToField(s.PBVMName, kDefaultVmName);
    }
    // Optional: only the runtimes of PowerBuilder 2019 R3 and later live in a folder of
    // their own.  A value that is empty or cannot be read whole leaves the field empty,
    // which means there is none.
    GetRegString("PBRuntimeDir", sizeof s.PBRuntimeDir, s.PBRuntimeDir);
    // Optional in the same way: without it the host chooses the working folder itself.
    GetRegString("PBWorkDir", sizeof s.PBWorkDir, s.PBWorkDir);

    SERVICE_TABLE_ENTRYA table[] = {{s.ServiceName, ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
}
