// Composing what a service registration is made of.  Pure logic, no Windows calls.
#pragma once

#include <string>

// The service's image command line: the program's path, "-r" and the service name.
// A path that contains a blank, or a name that contains a blank or a tab, is enclosed in
// double quotes, so that the service process receives exactly three arguments; so is a
// name with a double quote, whose quotes are escaped as \" so that the process gets the
// name back whole.  Anything else stands as it is.
std::string BuildImageCommandLine(const std::string& modulePath, const std::string& serviceName);

// The logon account "<domain>\<userid>"; nothing is made of an empty part.
std::string BuildAccountName(const std::string& domain, const std::string& userid);

struct StartupChoice {
    unsigned long startType;  // SERVICE_AUTO_START (2) or SERVICE_DEMAND_START (3)
    bool delayed;
};

// The INI file's Startup value: "auto"/"Auto" start automatically, "delayed"/"Delayed"
// automatically and delayed, anything else (an empty value too) on demand.
StartupChoice ParseStartup(const std::string& value);

// True for a path that is already absolute: a drive letter, a colon and a backslash, or
// a name that starts with two backslashes.
bool IsAbsoluteWindowsPath(const std::string& path);

// The dependency list that the Service Control Manager takes, from the names separated by
// "/" as sc.exe writes them: each name ended by a zero byte, and one more zero at the end.
// Empty items are left out, so "/" alone (or nothing) gives the empty list, which clears
// the dependencies.
std::string BuildDependencyList(const std::string& slashSeparated);
