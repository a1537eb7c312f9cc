// The floor that pbvmsvc is measured against: the least a correct service does.  It
// reports "start pending" and at once "running", waits on an event, and ends on the stop
// control; pause, continue and interrogate are answered by reporting the state.  Built
// with the same compiler and options as the product, run as its own process.
//
//   baseline_service.exe -r <name> [<period ms>]
//
// With a period, the wait times out and starts again every <period> ms, as a service
// with nothing to do on its schedule would (the idle figure compares like with like).
#include <windows.h>

#include <cstdlib>

namespace {

SERVICE_STATUS Status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED,
                         SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE, 0, 0, 0, 0};
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
HANDLE StopEvent = nullptr;
DWORD PeriodMs = INFINITE;

void Report(DWORD state) {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&Status.dwCurrentState), static_cast<LONG>(state));
    SetServiceStatus(StatusHandle, &Status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP: SetEvent(StopEvent); return NO_ERROR;
        case SERVICE_CONTROL_PAUSE: Report(SERVICE_PAUSED); return NO_ERROR;
        case SERVICE_CONTROL_CONTINUE: Report(SERVICE_RUNNING); return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE: SetServiceStatus(StatusHandle, &Status); return NO_ERROR;
        default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI Main(DWORD, LPSTR* arguments) {
    StopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    StatusHandle = RegisterServiceCtrlHandlerExA(arguments[0], Handler, nullptr);
    if (StatusHandle == nullptr) return;
    Report(SERVICE_START_PENDING);
    Report(SERVICE_RUNNING);
    while (WaitForSingleObject(StopEvent, PeriodMs) == WAIT_TIMEOUT) {
    }
    Report(SERVICE_STOP_PENDING);
    CloseHandle(StopEvent);
    Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4) PeriodMs = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    char name[] = "";  // an own-process service: the dispatcher does not look at the name
    SERVICE_TABLE_ENTRYA table[] = {{name, Main}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : static_cast<int>(GetLastError());
}
