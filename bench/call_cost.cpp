// What one of_run call and one pause cost the service process, and whose cost it is: the
// host's own call paths (CallRun, as the run loop calls it, and CallPaused, as the control
// handler calls it, with its event report) into the stand-in VM, then the same paths into
// a VM that does nothing, then the baseline's one wait.  Run by bench.py beside a
// copy of the stand-in VM and a library file that declares n_bench; prints
// "key value" lines (microseconds per call, over kCalls calls).
//
//   call_cost.exe <library file>
//
// CPU time is the calling thread's, from Linux (/proc/thread-self/schedstat, which Wine
// shows as Z:\proc\...): the Windows calls for it give no useful figure under Wine.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/service_settings.h"
#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "pbhost/pbni.h"
#include "pbhost/vm_startup.h"

namespace {

const int kCalls = 2000;

double WallUs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

double ThreadCpuUs() {
    char text[100] = {0};
    HANDLE file = CreateFileA("Z:\\proc\\thread-self\\schedstat", GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD got = 0;
    ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    return std::strtod(text, nullptr) / 1000.0;  // nanoseconds on the CPU
}

// A VM whose every call succeeds at once; of_run returns 5000.  Slots the host never
// calls do nothing.
#define NOTHING_IN_SLOT(n) \
    void Unused##n() override {}
struct NullValue final : pbni::IPB_Value {
    PBNI_VALUE_UNUSED(NOTHING_IN_SLOT)
    pbni::pblong GetLong() override { return 5000; }
    pbni::PBXRESULT SetBool(pbni::pbboolean) override { return pbni::PBX_OK; }
    pbni::PBXRESULT SetUlong(pbni::pbulong) override { return pbni::PBX_OK; }
    pbni::PBXRESULT SetString(const char*) override { return pbni::PBX_OK; }
} Value;
struct NullArguments final : pbni::IPB_Arguments {
    PBNI_ARGUMENTS_UNUSED(NOTHING_IN_SLOT)
    pbni::IPB_Value* GetAt(pbni::pbint) override { return &Value; }
} Arguments;
struct NullSession final : pbni::IPB_Session {
    PBNI_SESSION_UNUSED(NOTHING_IN_SLOT)
    void Release() override {}
    pbni::pbmethodID GetMethodID(pbni::pbclass, const char*, pbni::PBRoutineType, const char*,
                                 pbni::pbboolean) override {
        return 1;
    }
    pbni::PBXRESULT InitCallInfo(pbni::pbclass, pbni::pbmethodID, pbni::PBCallInfo* ci) override {
        ci->pArgs = &Arguments;
        ci->returnValue = &Value;
        return pbni::PBX_OK;
    }
    void FreeCallInfo(pbni::PBCallInfo*) override {}
    pbni::PBXRESULT InvokeObjectFunction(pbni::pbobject, pbni::pbmethodID, pbni::PBCallInfo*) override {
        return pbni::PBX_OK;
    }
    pbni::pbboolean HasExceptionThrown() override { return 0; }
    void ClearException() override {}
    pbni::pbgroup FindGroup(const char*, pbni::pbgroup_type) override { return nullptr; }
    pbni::pbclass FindClass(pbni::pbgroup, const char*) override { return nullptr; }
    pbni::pbobject NewObject(pbni::pbclass) override { return nullptr; }
} Session;

template <class F>
void Measure(const char* key, F call) {
    const double wall = WallUs();
    const double cpu = ThreadCpuUs();
    for (int i = 0; i < kCalls; ++i) call();
    std::printf("%s_cpu_us %.3f\n%s_wall_us %.3f\n", key, (ThreadCpuUs() - cpu) / kCalls, key,
                (WallUs() - wall) / kCalls);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::printf("error usage: call_cost <library file> [<VM file name>]\n");
        return 1;
    }
    if (ThreadCpuUs() < 0) {
        std::printf("error no /proc/thread-self/schedstat (not under Wine?)\n");
        return 1;
    }
    ServiceSettingsRecord& s = ServiceSettings;
    CopyToField(s.ServiceName, "PbvmBenchCallCost");
    CopyToField(s.PBVMName, argc == 3 ? argv[2] : "pbvm90.dll");  // beside this program
    CopyToField(s.PBLibList, (std::string(argv[1]) + ";common.pbd").c_str());
    CopyToField(s.PBAppName, "bench");
    CopyToField(s.PBObjName, "n_bench");
    CopyToField(s.EventLog, "false");
    s.LogFileName[0] = '\0';
    if (StartPowerBuilderHost() != 0) {
        std::printf("error the stand-in VM did not start\n");
        return 1;
    }
    CallRun();  // the first call of a function is no steady state
    CallPaused();
    Measure("standin", [] { CallRun(); });
    Measure("standin_pause", [] { CallPaused(); });
    HostState.Session = &Session;
    Measure("host", [] { CallRun(); });
    Measure("host_pause", [] { CallPaused(); });
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Measure("wait", [event] { WaitForSingleObject(event, 0); });
    std::printf("calls %d\n", kCalls);
    return 0;
}
