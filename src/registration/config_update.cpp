#include "registration/config_update.h"

#include <windows.h>

#include <string>

#include "common/console.h"
#include "common/service_settings.h"
#include "common/system_error.h"
#include "common/win_handles.h"
#include "registration/service_image.h"

namespace {

// Opens the service for a configuration change, applies it and prints the outcome:
// every update follows this one pattern and differs only in the change and its texts.
template <typename Change>
void ApplyConfigChange(const char* successLine, const char* failureLead, Change change) {
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_CONNECT));
    if (!manager) {
        Print("OpenSCManager failed!\r\n");
        return;
    }
    UniqueServiceHandle service(
        OpenServiceA(manager.get(), ServiceSettings.ServiceName, SERVICE_CHANGE_CONFIG));
    if (!service) {
        Print("OpenService failed!\r\n");
        return;
    }
    if (change(service.get())) {
        Print("%s", successLine);
    } else {
        const DWORD error = GetLastError();
        PrintFailureWithError(failureLead, ServiceSettings.ServiceName, error);
    }
}

}  // namespace

void UpdateDescription() {
    ApplyConfigChange("Update Description successful!\r\n",
                      "Update Description for '%s' failed:\r\n", [](SC_HANDLE service) {
                          SERVICE_DESCRIPTIONA description = {ServiceSettings.Description};
                          return ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION,
                                                       &description) != FALSE;
                      });
}

void UpdateDelayedStart(int delayed) {
    ApplyConfigChange("Update Delayed Start successful!\r\n",
                      "Update Delayed Start for '%s' failed:\r\n", [delayed](SC_HANDLE service) {
                          SERVICE_DELAYED_AUTO_START_INFO info = {delayed ? TRUE : FALSE};
                          return ChangeServiceConfig2A(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                                                       &info) != FALSE;
                      });
}

void UpdateCredentials() {
    const std::string account = BuildAccountName(ServiceSettings.Domain, ServiceSettings.Userid);
    ApplyConfigChange("Update Credentials successful!\r\n",
                      "Update Credentials for '%s' failed:\r\n", [&account](SC_HANDLE service) {
                          return ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                                      SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                                                      nullptr, account.c_str(),
                                                      ServiceSettings.Password, nullptr) != FALSE;
                      });
}

void UpdateDependencies(const char* slashSeparated) {
    const std::string list = BuildDependencyList(slashSeparated);
    ApplyConfigChange("Update Dependencies successful!\r\n",
                      "Update Dependencies for '%s' failed:\r\n", [&list](SC_HANDLE service) {
                          // An empty list (not a null one, which means "unchanged")
                          // clears the dependencies.
                          return ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                                      SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                                                      list.c_str(), nullptr, nullptr,
                                                      nullptr) != FALSE;
                      });
}
