#include "kit/services.h"

#include <windows.h>

#include "kit/registry.h"

namespace kit {

namespace {

struct ScHandle {
    SC_HANDLE h = nullptr;
    ~ScHandle() {
        if (h) CloseServiceHandle(h);
    }
};

}  // namespace

ServiceConfig ReadServiceConfig(const std::string& name) {
    ServiceConfig config;
    ScHandle manager, service;
    manager.h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager.h) return config;
    service.h = OpenServiceA(manager.h, name.c_str(), SERVICE_QUERY_CONFIG);
    if (!service.h) return config;

    DWORD needed = 0;
    QueryServiceConfigA(service.h, nullptr, 0, &needed);
    std::vector<char> buffer(needed + 16);
    auto* qsc = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(service.h, qsc, static_cast<DWORD>(buffer.size()), &needed)) {
        return config;
    }
    config.exists = true;
    config.serviceType = qsc->dwServiceType;
    config.startType = qsc->dwStartType;
    config.errorControl = qsc->dwErrorControl;
    config.imagePath = qsc->lpBinaryPathName ? qsc->lpBinaryPathName : "";
    config.account = qsc->lpServiceStartName ? qsc->lpServiceStartName : "";
    config.displayName = qsc->lpDisplayName ? qsc->lpDisplayName : "";
    config.dependencies = qsc->lpDependencies ? qsc->lpDependencies : "";

    needed = 0;
    QueryServiceConfig2A(service.h, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<char> description(needed + 16);
    if (QueryServiceConfig2A(service.h, SERVICE_CONFIG_DESCRIPTION,
                             reinterpret_cast<BYTE*>(description.data()),
                             static_cast<DWORD>(description.size()), &needed)) {
        auto* sd = reinterpret_cast<SERVICE_DESCRIPTIONA*>(description.data());
        config.hasDescription = sd->lpDescription != nullptr;
        if (sd->lpDescription) config.description = sd->lpDescription;
    }

    needed = 0;
    QueryServiceConfig2A(service.h, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
    std::vector<char> actions(needed + 16);
    if (QueryServiceConfig2A(service.h, SERVICE_CONFIG_FAILURE_ACTIONS,
                             reinterpret_cast<BYTE*>(actions.data()),
                             static_cast<DWORD>(actions.size()), &needed)) {
        auto* fa = reinterpret_cast<SERVICE_FAILURE_ACTIONSA*>(actions.data());
        config.failureActionsKnown = true;
        config.resetPeriod = fa->dwResetPeriod;
        for (DWORD i = 0; i < fa->cActions; ++i) {
            config.actions.emplace_back(fa->lpsaActions[i].Type, fa->lpsaActions[i].Delay);
        }
    }

    SERVICE_DELAYED_AUTO_START_INFO delayed = {};
    if (QueryServiceConfig2A(service.h, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                             reinterpret_cast<BYTE*>(&delayed), sizeof delayed, &needed)) {
        config.delayedKnown = true;
        config.delayed = delayed.fDelayedAutostart != FALSE;
    }
    return config;
}

unsigned long QueryServiceState(const std::string& name) {
    ScHandle manager, service;
    manager.h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager.h) return 0;
    service.h = OpenServiceA(manager.h, name.c_str(), SERVICE_QUERY_STATUS);
    if (!service.h) return 0;
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.h, &status)) return 0;
    return status.dwCurrentState;
}

bool CreateTestService(const std::string& name, const std::string& imagePath) {
    ScHandle manager, service;
    manager.h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager.h) return false;
    service.h = CreateServiceA(manager.h, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                               SERVICE_ERROR_IGNORE, imagePath.c_str(), nullptr, nullptr,
                               nullptr, nullptr, nullptr);
    return service.h != nullptr;
}

void RemoveServiceCompletely(const std::string& name) {
    {
        ScHandle manager, service;
        manager.h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (manager.h) {
            service.h = OpenServiceA(manager.h, name.c_str(),
                                     SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
        }
        if (service.h) {
            SERVICE_STATUS status = {};
            if (QueryServiceStatus(service.h, &status) &&
                status.dwCurrentState != SERVICE_STOPPED) {
                // A stop that is refused for another reason than a start or stop under way
                // will not come: Wine refuses it for a service whose process has ended
                // without a stop report, and would keep showing that service running.
                const bool stopComing = ControlService(service.h, SERVICE_CONTROL_STOP, &status) ||
                                        GetLastError() == ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
                for (int i = 0; stopComing && i < 200 && QueryServiceStatus(service.h, &status) &&
                                status.dwCurrentState != SERVICE_STOPPED;
                     ++i) {
                    Sleep(50);
                }
            }
            DeleteService(service.h);
        }
    }
    DeleteRegTree(EventSourceKey(name));
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace kit

#include "kit/product.h"

namespace kit {

bool WaitForServiceState(const std::string& name, unsigned long state, unsigned timeoutMs) {
    const DWORD start = GetTickCount();
    while (QueryServiceState(name) != state) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

bool StartTestService(const std::string& name) {
    const std::string image = QuoteArgument(TestProgramDirectory() + "\\test_service.exe") +
                              " -r " + QuoteArgument(name);
    if (!CreateTestService(name, image)) return false;
    ScHandle manager, service;
    manager.h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager.h) service.h = OpenServiceA(manager.h, name.c_str(), SERVICE_START);
    if (!service.h || !StartServiceA(service.h, 0, nullptr)) return false;
    return WaitForServiceState(name, SERVICE_RUNNING);
}

unsigned long SendControl(const std::string& name, unsigned long control) {
    ScHandle manager, service;
    manager.h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager.h) return GetLastError();
    service.h = OpenServiceA(manager.h, name.c_str(),
                             SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE |
                                 SERVICE_USER_DEFINED_CONTROL);
    if (!service.h) return GetLastError();
    SERVICE_STATUS status = {};
    return ControlService(service.h, control, &status) ? 0 : GetLastError();
}

}  // namespace kit
