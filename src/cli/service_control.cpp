#include "cli/service_control.h"

#include <windows.h>

#include "common/console.h"
#include "common/service_settings.h"
#include "common/system_error.h"
#include "common/win_handles.h"

namespace {

struct CommandRow {
    DWORD access;
    DWORD control;  // for stop, pause and resume
};

CommandRow RowFor(ServiceCommand command) {
    switch (command) {
        case ServiceCommand::Start: return {SERVICE_QUERY_STATUS | SERVICE_START, 0};
        case ServiceCommand::Stop: return {SERVICE_QUERY_STATUS | SERVICE_STOP, SERVICE_CONTROL_STOP};
        case ServiceCommand::Pause:
            return {SERVICE_QUERY_STATUS | SERVICE_PAUSE_CONTINUE, SERVICE_CONTROL_PAUSE};
        case ServiceCommand::Resume:
            return {SERVICE_QUERY_STATUS | SERVICE_PAUSE_CONTINUE, SERVICE_CONTROL_CONTINUE};
    }
    return {0, 0};
}

void PrintRefusal(DWORD error) {
    PrintFailureWithError("Service command for '%s' failed:\r\n", ServiceSettings.ServiceName, error);
}

}  // namespace

void RunServiceCommand(ServiceCommand command) {
    const CommandRow row = RowFor(command);
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_CONNECT));
    if (!manager) {
        Print("OpenSCManager failed!!\r\n");
        return;
    }
    UniqueServiceHandle service(OpenServiceA(manager.get(), ServiceSettings.ServiceName, row.access));
    if (!service) {
        // The same words for every command and every reason: scripts match on them.
        Print("Uninstall service failed - service does not exist!\r\n");
        return;
    }
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.get(), &status)) return;

    // Only "stopped" is told apart; the Service Control Manager judges every other state.
    const bool stopped = status.dwCurrentState == SERVICE_STOPPED;
    if (command == ServiceCommand::Start) {
        if (!stopped) {
            Print("Service command failed - service is already running!\r\n");
        } else if (StartServiceA(service.get(), 0, nullptr)) {
            Print("Start service successful!\r\n");
        } else {
            PrintRefusal(GetLastError());
        }
        return;
    }
    if (stopped) {
        Print("Service command failed - service is not running!\r\n");
    } else if (ControlService(service.get(), row.control, &status)) {
        Print("Service command successful!\r\n");
    } else {
        PrintRefusal(GetLastError());
    }
}
