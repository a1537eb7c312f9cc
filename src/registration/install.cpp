#include "registration/install.h"

#include <windows.h>

#include <string>

#include "common/console.h"
#include "common/module_path.h"
#include "common/service_settings.h"
#include "common/system_error.h"
#include "common/win_handles.h"
#include "diag/event_source.h"
#include "registration/service_image.h"

namespace {

const DWORD kRestartDelayMs = 120000;
const DWORD kResetPeriodSeconds = 86400;

}  // namespace

bool InstallService(unsigned long startType, bool useAccount) {
    const std::string account = BuildAccountName(ServiceSettings.Domain, ServiceSettings.Userid);

    std::string modulePath;
    if (!GetOwnModulePath(modulePath)) {
        Print("The path of this program is too long to install it as a service "
              "(at most %d characters)!\r\n", MAX_PATH - 1);
        return false;
    }
    const std::string imagePath = BuildImageCommandLine(modulePath, ServiceSettings.ServiceName);

    // Restart twice, two minutes after each failure, then leave it; the count of
    // failures starts afresh after a day without one.
    SC_ACTION actions[3] = {{SC_ACTION_RESTART, kRestartDelayMs},
                            {SC_ACTION_RESTART, kRestartDelayMs},
                            {SC_ACTION_NONE, kRestartDelayMs}};
    SERVICE_FAILURE_ACTIONSA failureActions = {};
    failureActions.dwResetPeriod = kResetPeriodSeconds;
    failureActions.lpRebootMsg = nullptr;
    failureActions.lpCommand = nullptr;
    failureActions.cActions = 3;
    failureActions.lpsaActions = actions;

    UniqueServiceHandle manager(OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA,
                                               SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        Print("OpenSCManager failed!\r\n");
        return false;
    }
    UniqueServiceHandle service(CreateServiceA(
        manager.get(), ServiceSettings.ServiceName, ServiceSettings.DisplayName,
        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_IGNORE,
        imagePath.c_str(), nullptr, nullptr, nullptr, useAccount ? account.c_str() : nullptr,
        useAccount ? ServiceSettings.Password : nullptr));
    if (!service) {
        const DWORD error = GetLastError();
        PrintFailureWithError("Install service '%s' failed:\r\n", ServiceSettings.ServiceName, error);
        return false;
    }

    SERVICE_DESCRIPTIONA description = {ServiceSettings.Description};
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions);
    // The actions apply also when the service stops with an error code of its own (a start
    // that fails because the database is not up yet), not only when its process dies.
    // Windows before Vista has no such flag; like the actions, it is best effort.
    SERVICE_FAILURE_ACTIONS_FLAG onErrors = {TRUE};
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrors);
    service.reset();

    AddEventSource();
    Print("Install service '%s' successful!\r\n", ServiceSettings.ServiceName);
    return true;
}

void UninstallService() {
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_CONNECT));
    if (!manager) {
        Print("OpenSCManager failed!\r\n");
        return;
    }
    UniqueServiceHandle service(
        OpenServiceA(manager.get(), ServiceSettings.ServiceName, DELETE | SERVICE_QUERY_STATUS));
    if (!service) {
        Print("Uninstall service '%s' failed - service does not exist!\r\n", ServiceSettings.ServiceName);
        return;
    }
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.get(), &status)) return;

    if (status.dwCurrentState != SERVICE_STOPPED) {
        Print("Uninstall service '%s' failed - service is not stopped!\r\n", ServiceSettings.ServiceName);
        return;
    }
    if (!DeleteService(service.get())) {
        // The service stays, and so does its event source.
        const DWORD error = GetLastError();
        PrintFailureWithError("Uninstall service '%s' failed:\r\n", ServiceSettings.ServiceName, error);
        return;
    }
    RemoveEventSource();
    Print("Uninstall service '%s' successful!\r\n", ServiceSettings.ServiceName);
}
