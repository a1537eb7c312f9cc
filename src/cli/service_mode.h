#pragma once

#include <string>

// The start of the service process ("-r <name>", ServiceName already set): reads the
// service's parameters from the registry and hands the main thread to the service
// dispatcher until the service has stopped.  A required parameter that cannot be read
// is reported as an error event and the process ends without starting the service.
void RunServiceMode();

// The default log file: "<Windows directory>\<service name>.log".  False when the path
// does not fit the LogFileName field.
bool BuildDefaultLogFileName(const char* windowsDirectory, const char* serviceName, char* field,
                             unsigned long capacity);

// Reads one of the service's registry values as service mode reads it: into the field,
// cleared first, taking at most size bytes.  False when the value counts as missing (see
// GetRegString); the field is then empty.
bool ReadServiceValue(const char* valueName, char* field, unsigned long size);

// RunTimeout or StopTimeout as service mode reads it, whole however long: missing (as for
// ReadServiceValue), a whole number of seconds in range (in *seconds, 0 otherwise), or
// anything else; *text holds what is stored.
enum class TimeLimitReading { Missing, Valid, Invalid };
TimeLimitReading ReadServiceTimeLimit(const char* valueName, std::string* text, unsigned long* seconds);

// The default log file of the service ServiceSettings.ServiceName, built from the Windows
// directory as the service builds it.  False when it does not fit.
bool BuildServiceLogFileName(char* field, unsigned long capacity);
