#pragma once

// The start of the service process ("-r <name>", ServiceName already set): reads the
// service's parameters from the registry and hands the main thread to the service
// dispatcher until the service has stopped.  A required parameter that cannot be read
// is reported as an error event and the process ends without starting the service.
void RunServiceMode();

// The default log file: "<Windows directory>\<service name>.log".  False when the path
// does not fit the LogFileName field.
bool BuildDefaultLogFileName(const char* windowsDirectory, const char* serviceName, char* field,
                             unsigned long capacity);
