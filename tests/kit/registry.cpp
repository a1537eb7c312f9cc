#include "kit/registry.h"

#include <windows.h>

#include <vector>

namespace kit {

RegValue ReadRegValue(const std::string& keyPath, const std::string& valueName) {
    RegValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != 0) {
        return value;
    }
    DWORD type = 0, length = 0;
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &length) == 0) {
        std::vector<char> buffer(length + 2, '\0');
        DWORD size = length + 2;
        if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer.data()), &size) == 0) {
            value.exists = true;
            value.type = type;
            value.data.assign(buffer.data(), size);
        }
    }
    RegCloseKey(key);
    return value;
}

bool RegKeyExists(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != 0) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool CreateRegKey(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != 0) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool WriteRegValue(const std::string& keyPath, const std::string& valueName, unsigned long type,
                   const std::string& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != 0) {
        return false;
    }
    const LONG rc = RegSetValueExA(key, valueName.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return rc == 0;
}

void DeleteRegTree(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) != 0) return;
    char name[512];
    for (;;) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != 0) break;
        DeleteRegTree(keyPath + "\\" + name);
    }
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
}

std::string ServiceKey(const std::string& serviceName) {
    return "SYSTEM\\CurrentControlSet\\Services\\" + serviceName;
}

std::string EventSourceKey(const std::string& serviceName) {
    return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + serviceName;
}

std::string StringData(const RegValue& value) {
    std::string text = value.data;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace kit
