#include "pbhost/hosted_calls.h"

#include <windows.h>

#include <string>

#include "common/critical_section.h"
#include "common/service_settings.h"
#include "diag/event_log.h"
#include "pbhost/host_state.h"
#include "pbhost/pbni.h"
#include "pbhost/vm_startup.h"

namespace {

// The method id of the hosted class's function, or kMethodNotFound after the error
// event "GetMethodID failed for <name>".
unsigned short LookUp(const char* name, const char* signature) {
    const unsigned short id =
        HostState.Session->GetMethodID(HostState.HostedClass, name, 0, signature, 1);
    if (id == pbni::kMethodNotFound) {
        ReportServiceEvent(kEventError, (std::string("GetMethodID failed for ") + name).c_str());
    }
    return id;
}

void Prepare(unsigned short id, pbni::CallRecord* record) {
    HostState.Session->PrepareCallRecord(HostState.HostedClass, id, record);
}

long Invoke(unsigned short id, pbni::CallRecord* record) {
    return HostState.Session->InvokeObjectFunction(HostState.HostedObject, id, record);
}

void Release(pbni::CallRecord* record) { HostState.Session->ReleaseCallRecord(record); }

// The control handler's calls and the end of the host in CallStop take turns: a
// control that arrives while the service stops either finishes its call before of_stop
// starts, or finds the host gone and calls nothing.  Without this the handler's thread
// could be inside the VM, or enter it, while CallStop unloads it.  of_run needs no turn:
// it runs on the thread that calls CallStop.
CriticalSection HostCalls;

// The functions that take no argument or one unsigned long and give no result; their
// invocation result is of no consequence to the service.  They are called from the
// control handler.  False, with nothing called, once CallStop has ended the host.
bool CallWithoutResult(const char* name, const char* signature, const unsigned long* argument) {
    CriticalSectionTurn turn(HostCalls);
    if (HostState.Session == nullptr) return false;
    const unsigned short id = LookUp(name, signature);
    if (id == pbni::kMethodNotFound) return true;
    pbni::CallRecord record = {};
    Prepare(id, &record);
    if (argument != nullptr) record.ArgumentList->ArgumentAt(0)->WriteUnsignedLong(*argument);
    Invoke(id, &record);
    Release(&record);
    return true;
}

}  // namespace

unsigned long CallStartup() {
    const unsigned short id = LookUp("of_startup", "LSB");
    if (id == pbni::kMethodNotFound) return kHostStartFailed;
    pbni::CallRecord record = {};
    Prepare(id, &record);
    record.ArgumentList->ArgumentAt(0)->WriteString(ServiceSettings.ServiceName);
    record.ArgumentList->ArgumentAt(1)->WriteBoolean(0);
    // A function that could not be run has not started anything, whatever its result
    // field holds; the service must not be reported as running.
    if (Invoke(id, &record) != 0) {
        Release(&record);
        ReportServiceEvent(kEventError, "InvokeObjectFunction failed for of_startup");
        return kHostStartFailed;
    }
    const long result = record.Result->ReadLong();
    Release(&record);
    if (result != 0) {
        ReportServiceEvent(kEventError, "Service start failed");
        return static_cast<unsigned long>(result);
    }
    if (EventLogEnabled()) ReportServiceEvent(kEventInformation, "Service started");
    return 0;
}

unsigned long CallRun() {
    const unsigned short id = LookUp("of_run", "L");
    if (id == pbni::kMethodNotFound) {
        StoreRunFailure(kRunFailed);
        return 0;
    }
    pbni::CallRecord record = {};
    Prepare(id, &record);
    unsigned long wait = 0;
    if (Invoke(id, &record) != 0) {
        StoreRunFailure(kRunFailed);
        ReportServiceEvent(kEventError, "InvokeObjectFunction failed for of_run");
    } else {
        const long result = record.Result->ReadLong();
        if (result < 0) {
            StoreRunFailure(kRunFailed);
        } else {
            StoreRunFailure(0);
            wait = static_cast<unsigned long>(result);
        }
    }
    Release(&record);
    return wait;
}

void CallStop() {
    CriticalSectionTurn turn(HostCalls);
    const unsigned short id = LookUp("of_stop", "QB");
    if (id != pbni::kMethodNotFound) {
        pbni::CallRecord record = {};
        Prepare(id, &record);
        record.ArgumentList->ArgumentAt(0)->WriteBoolean(LoadStopReason() == kShutdownControl ? 1 : 0);
        Invoke(id, &record);
        Release(&record);
    }

    HostState.Session->ReleaseSession();
    FreeLibrary(HostState.VmModule);
    // What they pointed at is gone with the DLL.
    HostState.Session = nullptr;
    HostState.HostedClass = nullptr;
    HostState.HostedObject = nullptr;
    HostState.Vm = nullptr;
    HostState.VmModule = nullptr;

    if (EventLogEnabled()) ReportServiceEvent(kEventInformation, "Service stopped");
}

void CallPaused() {
    if (CallWithoutResult("of_paused", "Q", nullptr)) {
        ReportServiceEvent(kEventInformation, "Service paused");
    }
}

void CallResumed() {
    if (CallWithoutResult("of_resumed", "Q", nullptr)) {
        ReportServiceEvent(kEventInformation, "Service resumed");
    }
}

void CallControl(unsigned long code) { CallWithoutResult("of_control", "QU", &code); }

void CallPowerEvent(unsigned long eventType) { CallWithoutResult("of_powerevent", "QU", &eventType); }

void CallSessionChange(unsigned long eventType) {
    CallWithoutResult("of_sessionchg", "QU", &eventType);
}
