#include "diag/event_source.h"

#include <windows.h>

#include <string>

#include "common/module_path.h"
#include "common/service_settings.h"
#include "common/win_handles.h"

namespace {
const char* const kApplicationLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";
}

void AddEventSource() {
    const std::string keyPath = std::string(kApplicationLogKey) + "\\" + ServiceSettings.ServiceName;

    std::string modulePath;
    if (!GetOwnModulePath(modulePath)) return;  // a cut path would name the wrong file

    UniqueRegKey key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, key.put());
    if (rc == ERROR_FILE_NOT_FOUND) {
        rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    }
    if (rc != ERROR_SUCCESS) return;

    RegSetValueExA(key.get(), "EventMessageFile", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(modulePath.c_str()),
                   static_cast<DWORD>(modulePath.size() + 1));
    const DWORD typesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&typesSupported), sizeof typesSupported);
}

void RemoveEventSource() {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApplicationLogKey, 0, KEY_ALL_ACCESS, key.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteKeyA(key.get(), ServiceSettings.ServiceName);
}
