#include "runtime/service_status.h"

SERVICE_STATUS ServiceStatus = {};
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
HANDLE StopEvent = nullptr;

void ReportServiceStatus() { SetServiceStatus(StatusHandle, &ServiceStatus); }

void SetCurrentState(DWORD state) {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&ServiceStatus.dwCurrentState),
                        static_cast<LONG>(state));
}

DWORD CurrentState() {
    return static_cast<DWORD>(*reinterpret_cast<volatile LONG*>(&ServiceStatus.dwCurrentState));
}

DWORD ControlsAcceptedFor(DWORD majorVersion, DWORD minorVersion) {
    const DWORD base = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                       SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT;
    const bool sessionChanges = majorVersion > 5 || (majorVersion == 5 && minorVersion >= 1);
    return sessionChanges ? base | SERVICE_ACCEPT_SESSIONCHANGE : base;
}
