#pragma once

// Creates the service ServiceSettings.ServiceName, whose image is this program started
// with "-r <name>", with the given start type (2 automatic, 3 on demand), under
// LocalSystem or, when useAccount is set, under Domain\Userid with Password.  Gives it
// the current Description and the restart failure actions, registers its event source
// and prints the outcome.  True when the service was created.
bool InstallService(unsigned long startType, bool useAccount);

// Deletes the stopped service ServiceSettings.ServiceName and its event source, and
// prints the outcome.  A service that is not stopped is left alone.
void UninstallService();
