// Test helper: the smallest well-behaved service, for tests of the commands that need a
// service that really runs.  Started as "test_service.exe -r <name>"; accepts stop,
// pause and continue and reports each state at once.
#include <windows.h>

namespace {

SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING,
                         SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE, 0, 0, 0, 0};
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP: SetEvent(stopEvent); return NO_ERROR;
        case SERVICE_CONTROL_PAUSE: status.dwCurrentState = SERVICE_PAUSED; break;
        case SERVICE_CONTROL_CONTINUE: status.dwCurrentState = SERVICE_RUNNING; break;
        default: break;
    }
    SetServiceStatus(statusHandle, &status);
    return NO_ERROR;
}

void WINAPI Main(DWORD, char** argv) {
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    statusHandle = RegisterServiceCtrlHandlerExA(argv[0], Handler, nullptr);
    if (statusHandle == nullptr) return;
    status.dwCurrentState = SERVICE_RUNNING;
    SetServiceStatus(statusHandle, &status);
    WaitForSingleObject(stopEvent, INFINITE);
    status.dwCurrentState = SERVICE_STOPPED;
    SetServiceStatus(statusHandle, &status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    if (argc == 4 && lstrcmpA(argv[3], "stop-only") == 0) status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    SERVICE_TABLE_ENTRYA table[] = {{argv[2], Main}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}
