#pragma once

enum class ServiceCommand { Start, Stop, Pause, Resume };

// Asks the Service Control Manager to start, stop, pause or resume the service
// ServiceSettings.ServiceName and prints the outcome.  Does not wait for the service to
// reach the state asked for.
void RunServiceCommand(ServiceCommand command);
