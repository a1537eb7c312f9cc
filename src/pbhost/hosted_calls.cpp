#include "pbhost/hosted_calls.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/service_settings.h"
#include "diag/event_log.h"
#include "diag/log_file.h"
#include "pbhost/call_watch.h"
#include "pbhost/host_state.h"
#include "pbhost/pbni.h"
#include "pbhost/seh_guard.h"
#include "pbhost/session_text.h"
#include "pbhost/vm_startup.h"

namespace {

enum class Outcome {
    NotFound,  // no such function: "GetMethodID failed for <name>" has been reported
    Failed,    // InvokeObjectFunction did not succeed
    Threw,     // PowerScript threw: "PowerScript exception in <name>" has been reported
    Returned,  // the function ran to its end
    Faulted,   // a structured exception left the VM: "Exception 0x... in <name>" has been
               // logged and reported, and nothing more may be called in the VM
};

void ReportError(const char* text, const char* name) {
    ReportServiceEvent(kEventError, (std::string(text) + name).c_str());
}

// A fault inside the VM: an access violation, a raised exception or an MSVC C++ throw
// (0xE06D7363) that nothing in the VM caught.
void ReportFault(const char* name, unsigned long code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", code);
    const std::string text = std::string("Exception ") + hex + " in " + name;
    WriteLogLine(text.c_str());
    ReportServiceEvent(kEventError, text.c_str());
}

// Runs call() in the VM; false, after the fault has been reported under name, when a
// structured exception ended it.
template <class Call>
bool CallGuarded(const char* name, Call call) {
    unsigned long code = 0;
    if (CallCatchingStructuredExceptions(call, &code)) return true;
    ReportFault(name, code);
    return false;
}

template <class Char, class SetArguments>
Outcome CallUnguarded(pbni::IPB_SessionT<Char>* session, const char* name, const char* signature,
                      SetArguments setArguments, long* result) {
    const pbni::pbmethodID id = session->GetMethodID(HostState.HostedClass, SessionText<Char>(name).get(),
                                                     pbni::PBRT_FUNCTION, SessionText<Char>(signature).get(), 1);
    if (id == pbni::kUndefinedMethodID) {
        ReportError("GetMethodID failed for ", name);
        return Outcome::NotFound;
    }
    pbni::PBCallInfoT<Char> call = {};
    session->InitCallInfo(HostState.HostedClass, id, &call);
    setArguments(*call.pArgs);
    Outcome outcome = session->InvokeObjectFunction(HostState.HostedObject, id, &call) == pbni::PBX_OK
                          ? Outcome::Returned
                          : Outcome::Failed;
    // An exception that PowerScript threw and did not catch is left pending in the
    // session, whatever the invocation returned; it is cleared at once, since the session
    // must not go into its next call with it, and the call counts as failed.
    if (session->HasExceptionThrown() != 0) {
        session->ClearException();
        ReportError("PowerScript exception in ", name);
        outcome = Outcome::Threw;
    }
    if (outcome == Outcome::Returned && result != nullptr) *result = call.returnValue->GetLong();
    session->FreeCallInfo(&call);
    return outcome;
}

// Calls the hosted object's function name(signature), guarded against faults.
// setArguments(arguments) sets the arguments of the prepared call, whichever the string
// type of the session.  When the function has a result and returned, its long goes to
// *result.  The method id is looked up on every call and never kept.
template <class SetArguments>
Outcome CallFunction(const char* name, const char* signature, SetArguments setArguments,
                     long* result) {
    Outcome outcome = Outcome::Faulted;
    BeginHostedCall(name);
    const bool returned = CallGuarded(name, [&] {
        outcome = WithSession(
            [&](auto* session) { return CallUnguarded(session, name, signature, setArguments, result); });
    });
    EndHostedCall();
    return returned ? outcome : Outcome::Faulted;
}

const auto NoArguments = [](auto&) {};

// Sets a string argument in the session's string type.
template <class Char>
void SetStringArgument(pbni::IPB_ArgumentsT<Char>& arguments, pbni::pbint index, const char* text) {
    arguments.GetAt(index)->SetString(SessionText<Char>(text).get());
}

// The control callbacks: at most one unsigned long argument, no result, and an outcome
// of no consequence to the service, unless the VM faulted: then its state is unknown and
// the service cannot go on, and the process ends as after a failed of_run, without a stop
// report, so that the Service Control Manager applies the recovery actions.  False, with
// nothing called, once CallStop has ended the host.
bool CallCallback(const char* name, const char* signature, const unsigned long* argument) {
    if (HostState.Session == nullptr) return false;
    const Outcome outcome = CallFunction(
        name, signature,
        [argument](auto& arguments) {
            if (argument != nullptr) arguments.GetAt(0)->SetUlong(*argument);
        },
        nullptr);
    if (outcome == Outcome::Faulted) TerminateProcess(GetCurrentProcess(), kHostedObjectFailedExitCode);
    return true;
}

}  // namespace

unsigned long CallStartup() {
    long result = 0;
    const Outcome outcome = CallFunction(
        "of_startup", "LSB",
        [](auto& arguments) {
            SetStringArgument(arguments, 0, ServiceSettings.ServiceName);
            arguments.GetAt(1)->SetBool(0);
        },
        &result);
    // A function that could not be run, or that threw, has not started anything; the
    // service must not be reported as running.
    if (outcome == Outcome::Failed) ReportServiceEvent(kEventError, "InvokeObjectFunction failed for of_startup");
    if (outcome != Outcome::Returned) return kHostStartFailed;
    if (result != 0) {
        ReportServiceEvent(kEventError, "Service start failed");
        return static_cast<unsigned long>(result);
    }
    if (EventLogEnabled()) ReportServiceEvent(kEventInformation, "Service started");
    return 0;
}

unsigned long CallRun() {
    long result = 0;
    const Outcome outcome = CallFunction("of_run", "L", NoArguments, &result);
    if (outcome == Outcome::Failed) ReportServiceEvent(kEventError, "InvokeObjectFunction failed for of_run");
    if (outcome != Outcome::Returned || result < 0) {
        StoreRunFailure(kRunFailed);
        return 0;
    }
    StoreRunFailure(0);
    return static_cast<unsigned long>(result);
}

void CallStop() {
    const bool shutdown = LoadStopReason() == kShutdownControl;
    // After a fault nothing more is called in the VM, not even to end it: the stop was
    // asked for all the same, and the service still reports it.
    bool callable = CallFunction(
                        "of_stop", "QB",
                        [shutdown](auto& arguments) { arguments.GetAt(0)->SetBool(shutdown ? 1 : 0); },
                        nullptr) != Outcome::Faulted;
    if (callable) callable = CallGuarded("Release", [] { WithSession([](auto* session) { session->Release(); }); });
    if (callable) CallGuarded("FreeLibrary", [] { FreeLibrary(HostState.VmModule); });
    // What they pointed at is gone with the DLL.
    HostState.Session = nullptr;
    HostState.HostedClass = nullptr;
    HostState.HostedObject = nullptr;
    HostState.Vm = nullptr;
    HostState.VmModule = nullptr;

    if (EventLogEnabled()) ReportServiceEvent(kEventInformation, "Service stopped");
}

void CallPaused() {
    if (CallCallback("of_paused", "Q", nullptr)) ReportServiceEvent(kEventInformation, "Service paused");
}

void CallResumed() {
    if (CallCallback("of_resumed", "Q", nullptr)) ReportServiceEvent(kEventInformation, "Service resumed");
}

void CallControl(unsigned long code) { CallCallback("of_control", "QU", &code); }

void CallPowerEvent(unsigned long eventType) { CallCallback("of_powerevent", "QU", &eventType); }

void CallSessionChange(unsigned long eventType) { CallCallback("of_sessionchg", "QU", &eventType); }
