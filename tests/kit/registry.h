// Reads and prepares registry values under HKEY_LOCAL_MACHINE for the tests.
#pragma once

#include <string>

namespace kit {

struct RegValue {
    bool exists = false;
    unsigned long type = 0;
    std::string data;  // the stored bytes, exactly as the registry hands them back
};

RegValue ReadRegValue(const std::string& keyPath, const std::string& valueName);
bool RegKeyExists(const std::string& keyPath);

// Test set-up: creates the key when needed and stores the bytes as given.
bool WriteRegValue(const std::string& keyPath, const std::string& valueName, unsigned long type,
                   const std::string& data);
bool CreateRegKey(const std::string& keyPath);
// Deletes the key and everything below it; a missing key is no error.
void DeleteRegTree(const std::string& keyPath);

std::string ServiceKey(const std::string& serviceName);
std::string EventSourceKey(const std::string& serviceName);

// The string a REG_SZ value holds, whether or not the platform handed back a terminator
// (Windows returns the bytes as stored, Wine appends a zero to a value stored without).
std::string StringData(const RegValue& value);

}  // namespace kit
