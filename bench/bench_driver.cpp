// The Service Control Manager side of the benchmark: installs and removes the services
// and times what a client of the Service Control Manager sees, with the performance
// counter.  Prints one "key value" line per result on standard output; bench.py reads
// them.  A failure prints "error <what>" and ends with exit code 1.
//
//   bench_driver install <name> <image command line>
//   bench_driver remove <name>
//   bench_driver cycles <counted> <warm-up> <product name> <baseline name>
//   bench_driver start <name>        start it and wait until it runs
//   bench_driver stop <name>         stop it and wait until its process has ended
//
// "cycles" starts, interrogates, pauses and continues (five times) and stops the two
// services in turn, the product first in even cycles and the baseline first in odd ones,
// and prints, for each counted cycle, "sample <cycle> <product|baseline> <figure> <ms>"
// lines.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Between two steps: the product makes its first of_run call and settles in its wait.
const DWORD kSettleMs = 50;
const DWORD kStateTimeoutMs = 15000;
// Pause, continue and interrogate rounds per cycle: each is short, so each cycle
// gives several samples of them.
const int kControlRounds = 5;

LARGE_INTEGER Frequency;

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(Frequency.QuadPart);
}

[[noreturn]] void Fail(const char* what, const char* name) {
    std::printf("error %s %s (Windows error %lu)\n", what, name, GetLastError());
    std::fflush(stdout);
    std::exit(1);
}

SC_HANDLE Manager() {
    static SC_HANDLE manager = nullptr;
    if (manager == nullptr) {
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
        if (manager == nullptr) Fail("OpenSCManager", "");
    }
    return manager;
}

SC_HANDLE Open(const char* name) {
    SC_HANDLE service = OpenServiceA(Manager(), name,
                                     SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                                         SERVICE_INTERROGATE | SERVICE_QUERY_STATUS | DELETE);
    if (service == nullptr) Fail("OpenService", name);
    return service;
}

SERVICE_STATUS_PROCESS Query(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                         sizeof status, &needed);
    return status;
}

// Polls the state every millisecond; returns the counter time at which it was seen.
double WaitForState(SC_HANDLE service, DWORD state, const char* name, SERVICE_STATUS_PROCESS* seen = nullptr) {
    const double start = NowMs();
    for (;;) {
        const SERVICE_STATUS_PROCESS status = Query(service);
        const double now = NowMs();
        if (status.dwCurrentState == state) {
            if (seen != nullptr) *seen = status;
            return now;
        }
        if (now - start > kStateTimeoutMs) {
            std::printf("error state %lu instead of %lu for %s (exit codes %lu/%lu)\n",
                        status.dwCurrentState, state, name, status.dwWin32ExitCode,
                        status.dwServiceSpecificExitCode);
            std::fflush(stdout);
            std::exit(1);
        }
        Sleep(1);
    }
}

// The duration of one ControlService call.
double TimedControl(SC_HANDLE service, DWORD control, const char* name) {
    SERVICE_STATUS status;
    const double start = NowMs();
    if (!ControlService(service, control, &status)) Fail("ControlService", name);
    return NowMs() - start;
}

struct StartResult {
    double callMs;     // StartServiceA itself
    double latencyMs;  // StartServiceA returned -> running
    double returnedAt; // counter times, comparable with the stand-in VM's journal
    double runningAt;
    HANDLE process;    // for waiting until it has ended
};

StartResult Start(SC_HANDLE service, const char* name) {
    StartResult result;
    const double begin = NowMs();
    if (!StartServiceA(service, 0, nullptr)) Fail("StartService", name);
    const double returned = NowMs();
    SERVICE_STATUS_PROCESS status;
    const double running = WaitForState(service, SERVICE_RUNNING, name, &status);
    result.callMs = returned - begin;
    result.latencyMs = running - returned;
    result.returnedAt = returned;
    result.runningAt = running;
    result.process = OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId);
    return result;
}

// Stop control sent -> stopped; the process is waited for afterwards (not timed).
double Stop(SC_HANDLE service, HANDLE process, const char* name, double* exitMs) {
    SERVICE_STATUS status;
    const double begin = NowMs();
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) Fail("ControlService stop", name);
    const double stopped = WaitForState(service, SERVICE_STOPPED, name);
    if (process != nullptr) {
        if (WaitForSingleObject(process, kStateTimeoutMs) != WAIT_OBJECT_0) Fail("process did not end", name);
        CloseHandle(process);
    }
    if (exitMs != nullptr) *exitMs = NowMs() - begin;
    return stopped - begin;
}

void OneCycle(int cycle, bool counted, const char* who, const char* name) {
    SC_HANDLE service = Open(name);
    const StartResult started = Start(service, name);
    Sleep(kSettleMs);
    double interrogate[kControlRounds], pause[kControlRounds], resume[kControlRounds];
    for (int i = 0; i < kControlRounds; ++i) {
        interrogate[i] = TimedControl(service, SERVICE_CONTROL_INTERROGATE, name);
        pause[i] = TimedControl(service, SERVICE_CONTROL_PAUSE, name);
        WaitForState(service, SERVICE_PAUSED, name);
        resume[i] = TimedControl(service, SERVICE_CONTROL_CONTINUE, name);
        WaitForState(service, SERVICE_RUNNING, name);
    }
    Sleep(kSettleMs);
    double exitMs = 0;
    const double stop = Stop(service, started.process, name, &exitMs);
    CloseServiceHandle(service);
    if (!counted) return;
    const struct {
        const char* figure;
        double ms;
    } samples[] = {{"start_call", started.callMs},
                   {"start_latency", started.latencyMs},
                   {"start_total", started.callMs + started.latencyMs},
                   {"stop_latency", stop},
                   {"stop_to_exit", exitMs}};
    for (const auto& s : samples) std::printf("sample %d %s %s %.3f\n", cycle, who, s.figure, s.ms);
    for (int i = 0; i < kControlRounds; ++i) {
        std::printf("sample %d %s interrogate %.3f\nsample %d %s pause %.3f\nsample %d %s continue %.3f\n",
                    cycle, who, interrogate[i], cycle, who, pause[i], cycle, who, resume[i]);
    }
    std::fflush(stdout);
}

int Cycles(int counted, int warmup, const char* product, const char* baseline) {
    for (int i = 0; i < warmup + counted; ++i) {
        const bool isCounted = i >= warmup;
        const int cycle = i - warmup;
        if (i % 2 == 0) {
            OneCycle(cycle, isCounted, "product", product);
            Sleep(kSettleMs);
            OneCycle(cycle, isCounted, "baseline", baseline);
        } else {
            OneCycle(cycle, isCounted, "baseline", baseline);
            Sleep(kSettleMs);
            OneCycle(cycle, isCounted, "product", product);
        }
        Sleep(kSettleMs);
    }
    std::printf("done\n");
    return 0;
}

int Install(const char* name, const char* image) {
    SC_HANDLE service = CreateServiceA(Manager(), name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, image, nullptr,
                                       nullptr, nullptr, nullptr, nullptr);
    if (service == nullptr) Fail("CreateService", name);
    CloseServiceHandle(service);
    std::printf("installed %s\n", name);
    return 0;
}

int Remove(const char* name) {
    SC_HANDLE service = Open(name);
    const SERVICE_STATUS_PROCESS status = Query(service);
    if (status.dwCurrentState != SERVICE_STOPPED) {
        SERVICE_STATUS ignored;
        ControlService(service, SERVICE_CONTROL_STOP, &ignored);
        WaitForState(service, SERVICE_STOPPED, name);
    }
    if (!DeleteService(service)) Fail("DeleteService", name);
    CloseServiceHandle(service);
    std::printf("removed %s\n", name);
    return 0;
}

int StartOne(const char* name) {
    SC_HANDLE service = Open(name);
    const StartResult started = Start(service, name);
    std::printf("start_call %.3f\nstart_latency %.3f\nreturned_at %.3f\nrunning_at %.3f\npid %lu\n",
                started.callMs, started.latencyMs, started.returnedAt, started.runningAt,
                Query(service).dwProcessId);
    return 0;
}

int StopOne(const char* name) {
    SC_HANDLE service = Open(name);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, Query(service).dwProcessId);
    double exitMs = 0;
    const double stop = Stop(service, process, name, &exitMs);
    std::printf("stop_latency %.3f\nstop_to_exit %.3f\n", stop, exitMs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&Frequency);
    if (argc == 4 && std::strcmp(argv[1], "install") == 0) return Install(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "remove") == 0) return Remove(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "start") == 0) return StartOne(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "stop") == 0) return StopOne(argv[2]);
    if (argc == 6 && std::strcmp(argv[1], "cycles") == 0) {
        return Cycles(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argv[5]);
    }
    std::printf("error usage: bench_driver install|remove|start|stop|cycles ...\n");
    return 1;
}
