#pragma once

// Each changes one setting of the installed service ServiceSettings.ServiceName in the
// Service Control Manager and prints the outcome.

// Sets the description to ServiceSettings.Description.
void UpdateDescription();

// Sets (1) or clears (0) the delayed automatic start flag.
void UpdateDelayedStart(int delayed);

// Sets the logon account Domain\Userid with Password; nothing else changes.
void UpdateCredentials();

// Sets the services that must run before this one starts, given as names separated by
// "/" (as sc.exe writes them); empty items are left out, and no name at all clears them.
void UpdateDependencies(const char* slashSeparated);
