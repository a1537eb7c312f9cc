#include "cli/status_report.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/service_mode.h"
#include "common/console.h"
#include "common/service_settings.h"
#include "common/system_error.h"
#include "common/win_handles.h"
#include "registration/param_store.h"

namespace {

// The state as the Service Control Manager names it (sc.exe shows the same words).
const char* StateName(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED: return "STOPPED";
        case SERVICE_START_PENDING: return "START_PENDING";
        case SERVICE_STOP_PENDING: return "STOP_PENDING";
        case SERVICE_RUNNING: return "RUNNING";
        case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
        case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
        case SERVICE_PAUSED: return "PAUSED";
    }
    return nullptr;
}

const char* StartTypeName(DWORD startType, bool delayed) {
    switch (startType) {
        case SERVICE_AUTO_START: return delayed ? "automatic, delayed" : "automatic";
        case SERVICE_DEMAND_START: return "manual";
        case SERVICE_DISABLED: return "disabled";
    }
    return nullptr;
}

// The names of a dependency list (each ended by a zero, the list by one more), joined by
// "/" as sc.exe writes them; a group keeps its leading "+".
std::string JoinDependencies(const char* list) {
    std::string joined;
    for (const char* name = list; name != nullptr && *name != '\0'; name += std::strlen(name) + 1) {
        if (!joined.empty()) joined += '/';
        joined += name;
    }
    return joined;
}

// The names of one list value of the service key, each ended by a zero and preceded by the
// prefix when there is one; empty when there is none.
std::string ReadNameList(HKEY key, const char* valueName, char prefix) {
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return "";
    std::vector<char> data(size + 2, '\0');  // room for the list's end, should the value lack it
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS) {
        return "";
    }
    std::string names;
    for (const char* name = data.data(); *name != '\0'; name += std::strlen(name) + 1) {
        if (prefix != '\0') names += prefix;
        names += name;
        names += '\0';
    }
    return names;
}

// The dependencies as the manager keeps them in the service key: services in
// DependOnService, groups in DependOnGroup.  Wine 8 stores them there, as Windows does,
// but its QueryServiceConfigA reports none.
std::string StoredDependencies() {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return "";
    }
    return ReadNameList(key.get(), "DependOnService", '\0') +
           ReadNameList(key.get(), "DependOnGroup", SC_GROUP_IDENTIFIERA);
}

void PrintQueryFailure(DWORD error) {
    PrintFailureWithError("Query service '%s' failed:\r\n", ServiceSettings.ServiceName, error);
}

// The service's configuration, in a buffer as large as the manager asks for.
bool QueryConfig(SC_HANDLE service, std::vector<char>& buffer, DWORD& error) {
    DWORD needed = 0;
    buffer.resize(sizeof(QUERY_SERVICE_CONFIGA));
    while (!QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                static_cast<DWORD>(buffer.size()), &needed)) {
        error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return false;
        buffer.resize(needed);
    }
    return true;
}

// Windows before Vista, and Wine, know no delayed automatic start: the query fails, and
// the service then has none.
bool DelayedAutoStart(SC_HANDLE service) {
    SERVICE_DELAYED_AUTO_START_INFO info = {};
    DWORD needed = 0;
    return QueryServiceConfig2A(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                                reinterpret_cast<BYTE*>(&info), sizeof info, &needed) &&
           info.fDelayedAutostart;
}

// One parameter line: the value as the service reads it, or what takes its place.
void PrintValue(const char* name, bool present, const char* value, const char* defaultValue = nullptr) {
    if (present) {
        Print("%s: %s\r\n", name, value);
    } else if (defaultValue != nullptr) {
        Print("%s: (not set, default %s)\r\n", name, defaultValue);
    } else {
        Print("%s: (not set)\r\n", name);
    }
}

// The parameters, each read with the service's own reading and size limit, so that a
// line shows what the service will use, or that it will use its default.
void PrintParameters() {
    ServiceSettingsRecord& s = ServiceSettings;
    bool present = ReadServiceValue("PBLibList", s.PBLibList, sizeof s.PBLibList);
    PrintValue("PBLibList", present, s.PBLibList);
    present = ReadServiceValue("PBAppName", s.PBAppName, sizeof s.PBAppName);
    PrintValue("PBAppName", present, s.PBAppName);
    present = ReadServiceValue("PBObjName", s.PBObjName, sizeof s.PBObjName);
    PrintValue("PBObjName", present, s.PBObjName);
    present = ReadServiceValue("PBVMName", s.PBVMName, sizeof s.PBVMName);
    PrintValue("PBVMName", present, s.PBVMName, kDefaultVmName);
    present = ReadServiceValue("PBRuntimeDir", s.PBRuntimeDir, sizeof s.PBRuntimeDir);
    PrintValue("PBRuntimeDir", present, s.PBRuntimeDir);
    present = ReadServiceValue("PBWorkDir", s.PBWorkDir, sizeof s.PBWorkDir);
    PrintValue("PBWorkDir", present, s.PBWorkDir);

    present = ReadServiceValue("LogFileName", s.LogFileName, sizeof s.LogFileName);
    if (present) {
        PrintValue("LogFileName", true, s.LogFileName);
    } else if (BuildServiceLogFileName(s.LogFileName, sizeof s.LogFileName)) {
        PrintValue("LogFileName", false, nullptr, s.LogFileName);
    } else {
        // The service refuses to start with a cut path ("Log file name is too long").
        Print("LogFileName: (not set, the default path is too long)\r\n");
    }
    present = ReadServiceValue("EventLog", s.EventLog, sizeof s.EventLog);
    PrintValue("EventLog", present, s.EventLog, kDefaultEventLog);
    for (const char* name : {"RunTimeout", "StopTimeout"}) {
        std::string text;
        unsigned long seconds = 0;
        switch (ReadServiceTimeLimit(name, &text, &seconds)) {
            case TimeLimitReading::Missing: Print("%s: (not set, no limit)\r\n", name); break;
            case TimeLimitReading::Valid: Print("%s: %lu\r\n", name, seconds); break;
            case TimeLimitReading::Invalid:
                Print("%s: %s (invalid: the service will not start)\r\n", name, text.c_str());
                break;
        }
    }
}

// The time Windows gives the service at shutdown (its pre-shutdown time), which the
// service sets itself from StopTimeout when it starts.
void PrintShutdownTime(SC_HANDLE service) {
    SERVICE_PRESHUTDOWN_INFO info = {};
    DWORD needed = 0;
    if (!QueryServiceConfig2A(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, reinterpret_cast<BYTE*>(&info), sizeof info,
                              &needed)) {
        Print("Time at shutdown: (unknown)\r\n");
    } else if (info.dwPreshutdownTimeout % 1000 == 0) {
        Print("Time at shutdown: %lu s\r\n", info.dwPreshutdownTimeout / 1000);
    } else {
        Print("Time at shutdown: %lu.%03lu s\r\n", info.dwPreshutdownTimeout / 1000, info.dwPreshutdownTimeout % 1000);
    }
}

}  // namespace

void ShowServiceStatus() {
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_CONNECT));
    if (!manager) {
        PrintQueryFailure(GetLastError());
        return;
    }
    UniqueServiceHandle service(OpenServiceA(manager.get(), ServiceSettings.ServiceName,
                                             SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (!service) {
        PrintQueryFailure(GetLastError());
        return;
    }
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed)) {
        PrintQueryFailure(GetLastError());
        return;
    }
    std::vector<char> buffer;
    DWORD error = 0;
    if (!QueryConfig(service.get(), buffer, error)) {
        PrintQueryFailure(error);
        return;
    }
    const QUERY_SERVICE_CONFIGA& config = *reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(buffer.data());

    Print("Service: %s\r\n", ServiceSettings.ServiceName);
    Print("Display name: %s\r\n", config.lpDisplayName != nullptr ? config.lpDisplayName : "");
    const char* state = StateName(status.dwCurrentState);
    if (state != nullptr) {
        Print("State: %s\r\n", state);
    } else {
        Print("State: %lu\r\n", status.dwCurrentState);
    }
    if (status.dwProcessId != 0) Print("Process: %lu\r\n", status.dwProcessId);
    if (status.dwCurrentState == SERVICE_STOPPED && status.dwWin32ExitCode != 0) {
        if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR) {
            Print("Exit code: %lu, service-specific %lu\r\n", status.dwWin32ExitCode,
                  status.dwServiceSpecificExitCode);
        } else {
            Print("Exit code: %lu\r\n", status.dwWin32ExitCode);
        }
    }
    const char* start = StartTypeName(config.dwStartType, config.dwStartType == SERVICE_AUTO_START &&
                                                              DelayedAutoStart(service.get()));
    if (start != nullptr) {
        Print("Start: %s\r\n", start);
    } else {
        Print("Start: %lu\r\n", config.dwStartType);
    }
    Print("Account: %s\r\n", config.lpServiceStartName != nullptr ? config.lpServiceStartName : "");
    std::string dependencies = JoinDependencies(config.lpDependencies);
    if (dependencies.empty()) dependencies = JoinDependencies(StoredDependencies().c_str());
    Print("Dependencies: %s\r\n", dependencies.empty() ? "(none)" : dependencies.c_str());
    PrintParameters();
    PrintShutdownTime(service.get());
}
