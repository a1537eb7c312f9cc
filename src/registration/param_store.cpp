#include "registration/param_store.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "common/console.h"
#include "common/service_settings.h"
#include "common/win_handles.h"

std::string ServiceKeyPath() {
    return std::string("SYSTEM\\CurrentControlSet\\Services\\") + ServiceSettings.ServiceName;
}

unsigned long GetRegString(const char* valueName, unsigned long size, char* field) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath().c_str(), 0, KEY_QUERY_VALUE,
                      key.put()) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD length = size;
    const LONG rc = RegQueryValueExA(key.get(), valueName, nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(field), &length);
    // A value whose data starts with a zero is an empty string, stored with its
    // terminator (as editors store "") or as a number 0: it counts as missing, as a value
    // without data does, and takes the caller's default.
    if (rc != ERROR_SUCCESS || length == 0 || field[0] == '\0') {
        std::memset(field, 0, size);  // a refused read may have left part of the data
        return 0;
    }

    // Values are stored without a terminator.  Windows hands back exactly the stored
    // bytes, so data that fills the whole field leaves no room for the zero that ends
    // the string: such a value counts as too large, and the field is left empty.
    // (Wine appends the terminator itself and refuses the same value as too large.)
    if (length >= size && field[size - 1] != '\0') {
        std::memset(field, 0, size);
        return 0;
    }
    return length;
}

bool GetRegText(const char* valueName, std::string* text) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    std::vector<char> data(size + 1, '\0');  // ends with a zero whether the value does or not
    if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS ||
        data[0] == '\0') {
        return false;
    }
    text->assign(data.data());
    return true;
}

void SetRegString(const char* valueName, const char* value) {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath().c_str(), 0, KEY_SET_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        Print("Open registry key failed!\r\n");
        return;
    }
    const LONG rc = RegSetValueExA(key.get(), valueName, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value),
                                   static_cast<DWORD>(std::strlen(value)));
    if (rc == ERROR_SUCCESS) {
        Print("Update %s successful!\r\n", valueName);
    } else {
        Print("Update %s failed!\r\n", valueName);
    }
}
