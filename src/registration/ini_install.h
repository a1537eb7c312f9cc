#pragma once

// Installs and configures a service in one run from the section [Install] of an INI
// file: creates it, sets its description and delayed start, and stores its PowerBuilder
// parameters.  iniFile is a path relative to the current directory, or an absolute one.
void InstallFromIni(const char* iniFile);
