// The service's parameters: string values under its own key,
// HKLM\SYSTEM\CurrentControlSet\Services\<ServiceName>.
#pragma once

#include <string>

// The service key's path for ServiceSettings.ServiceName (built without a fixed buffer).
std::string ServiceKeyPath();

// Reads one value into field (size bytes, all zeros beforehand).  Returns the number of
// bytes stored, or 0 when the read failed: key or value missing, no data, data that
// starts with a zero (an empty string), or data that does not leave room for a
// terminating zero inside the field.  Prints nothing.
unsigned long GetRegString(const char* valueName, unsigned long size, char* field);

// Reads one value whole, however long, up to its first zero byte.  False when it counts as
// missing, as for GetRegString: key or value missing, no data, or a zero byte first.
bool GetRegText(const char* valueName, std::string* text);

// Writes one REG_SZ value (stored without terminator) and prints the outcome line.
void SetRegString(const char* valueName, const char* value);
