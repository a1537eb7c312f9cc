#pragma once

// Prints what an administrator needs to see of the service ServiceSettings.ServiceName in
// one look: its state and exit code as the Service Control Manager reports them, its start
// type, account and dependencies, and each of its parameters as the service will use it.
// One "Key: value" line each.
void ShowServiceStatus();
