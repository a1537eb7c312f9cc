#include "cli/service_mode.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "common/service_settings.h"
#include "common/time_limit.h"
#include "diag/event_log.h"
#include "registration/param_store.h"
#include "runtime/service_main.h"
#include "runtime/time_limits.h"

bool BuildDefaultLogFileName(const char* windowsDirectory, const char* serviceName, char* field,
                             unsigned long capacity) {
    const std::string path = std::string(windowsDirectory) + "\\" + serviceName + ".log";
    return CopyToField(field, capacity, path.c_str());
}

bool ReadServiceValue(const char* valueName, char* field, unsigned long size) {
    // A stored value need not end with a zero: the field is all zeros before the read.
    std::memset(field, 0, size);
    return GetRegString(valueName, size, field) != 0;
}

TimeLimitReading ReadServiceTimeLimit(const char* valueName, std::string* text, unsigned long* seconds) {
    *seconds = 0;
    if (!GetRegText(valueName, text)) return TimeLimitReading::Missing;
    return ParseTimeLimit(*text, seconds) ? TimeLimitReading::Valid : TimeLimitReading::Invalid;
}

bool BuildServiceLogFileName(char* field, unsigned long capacity) {
    char windowsDirectory[MAX_PATH] = {0};
    GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
    return BuildDefaultLogFileName(windowsDirectory, ServiceSettings.ServiceName, field, capacity);
}

namespace {

// Reads one required parameter; false, after the error event, when it cannot be read.
bool ReadRequired(const char* valueName, char* field, unsigned long size) {
    if (ReadServiceValue(valueName, field, size)) return true;
    const std::string message = std::string("GetRegString ") + valueName + " failed";
    ReportServiceEvent(kEventError, message.c_str());
    return false;
}

// Reads RunTimeout or StopTimeout: 0 when missing.  A value that is no whole number of
// seconds in range stops the start; the first such one is the refusal reported.
unsigned long ReadTimeLimit(const char* valueName) {
    std::string text;
    unsigned long seconds = 0;
    if (ReadServiceTimeLimit(valueName, &text, &seconds) == TimeLimitReading::Invalid &&
        ServiceSettings.StartRefusal[0] == '\0') {
        CopyToField(ServiceSettings.StartRefusal, TimeLimitRefusal(valueName).c_str());
    }
    return seconds;
}

}  // namespace

void RunServiceMode() {
    ServiceSettingsRecord& s = ServiceSettings;
    if (!ReadRequired("PBLibList", s.PBLibList, sizeof s.PBLibList)) return;
    if (!ReadRequired("PBAppName", s.PBAppName, sizeof s.PBAppName)) return;
    if (!ReadRequired("PBObjName", s.PBObjName, sizeof s.PBObjName)) return;

    if (!ReadServiceValue("LogFileName", s.LogFileName, sizeof s.LogFileName) &&
        !BuildServiceLogFileName(s.LogFileName, sizeof s.LogFileName)) {
        // A cut path would name another file; the service does not start instead.
        ReportServiceEvent(kEventError, "Log file name is too long");
        return;
    }

    if (!ReadServiceValue("EventLog", s.EventLog, sizeof s.EventLog)) {
        CopyToField(s.EventLog, kDefaultEventLog);
    }

    // The field holds the default name at start; the read clears it, and the default
    // comes back when there is no value.
    if (!ReadServiceValue("PBVMName", s.PBVMName, sizeof s.PBVMName)) {
        CopyToField(s.PBVMName, kDefaultVmName);
    }
    // Optional: only the runtimes of PowerBuilder 2019 R3 and later live in a folder of
    // their own.  A value that is empty or cannot be read whole leaves the field empty,
    // which means there is none.
    ReadServiceValue("PBRuntimeDir", s.PBRuntimeDir, sizeof s.PBRuntimeDir);
    // Optional in the same way: without it the host chooses the working folder itself.
    ReadServiceValue("PBWorkDir", s.PBWorkDir, sizeof s.PBWorkDir);
    TimeLimits.runSeconds = ReadTimeLimit("RunTimeout");
    TimeLimits.stopSeconds = ReadTimeLimit("StopTimeout");

    SERVICE_TABLE_ENTRYA table[] = {{s.ServiceName, ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
}
