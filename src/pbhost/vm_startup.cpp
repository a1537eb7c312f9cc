#include "pbhost/vm_startup.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/service_settings.h"
#include "common/win_handles.h"
#include "diag/event_log.h"
#include "diag/log_file.h"
#include "pbhost/get_vm_call.h"
#include "pbhost/host_state.h"
#include "pbhost/library_list.h"
#include "pbhost/pbni.h"
#include "pbhost/seh_guard.h"
#include "pbhost/session_text.h"
#include "pbhost/vm_version.h"

namespace {

unsigned long FailStart(const char* text) {
    WriteLogLine(text);
    ReportServiceEvent(kEventError, text);
    return kHostStartFailed;
}

// Loads the VM DLL; on failure *error holds LoadLibrary's error number.
HMODULE LoadVmModule(const char* name, DWORD* error) {
    // Without this, a DLL on a drive that is not ready would put up a dialog box, which
    // nobody sees in a service and which would hang the start.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(name);
    *error = module == nullptr ? GetLastError() : 0;  // before SetErrorMode can change it
    SetErrorMode(previous);
    return module;
}

// A VM DLL of the other bitness is there but cannot be loaded into this process:
// LoadLibrary says ERROR_BAD_EXE_FORMAT.  The administrator needs the other build of
// pbvmsvc (or the other VM), not a search for the file.
#ifdef _WIN64
const char* const kWrongBitnessText = "PowerBuilder VM is not a 64-bit DLL";
#else
const char* const kWrongBitnessText = "PowerBuilder VM is not a 32-bit DLL";
#endif

// The text of a list file, followed by at least one zero byte.  Returns nullptr after
// having logged and reported the failure.
std::unique_ptr<char[]> ReadListFile(const char* path) {
    UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        FailStart("Open of LibList file failed");
        return nullptr;
    }
    if (LibraryListFileTooLarge(static_cast<unsigned long long>(size.QuadPart))) {
        FailStart("LibList file is too large");
        return nullptr;
    }
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    std::unique_ptr<char[]> text(new (std::nothrow) char[length + 1]());
    if (!text) {
        FailStart("LibList file is too large");
        return nullptr;
    }
    // A short read simply yields a shorter text; the buffer is zeroed, so the text ends
    // at the first zero byte whatever came in.
    DWORD got = 0;
    ReadFile(file.get(), text.get(), length, &got, nullptr);
    return text;
}

bool IsFolder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Makes the application's working folder the process's current folder.  The Service
// Control Manager starts every service in the system folder, where a PowerBuilder
// application's relative paths (ProfileString's INI file, FileOpen, relative library
// names) and a relative LogFileName would otherwise land.  PBWorkDir when it is set;
// otherwise the folder of the first library as PBLibList holds it, when that is a full
// path to a folder that exists; otherwise the folder stays as the service was given it.
// False only when PBWorkDir names no folder that can be entered.
bool EnterWorkingFolder() {
    const ServiceSettingsRecord& s = ServiceSettings;
    if (s.PBWorkDir[0] != '\0') return IsFolder(s.PBWorkDir) && SetCurrentDirectoryA(s.PBWorkDir);
    const std::string folder = FolderOfFirstLibrary(s.PBLibList);
    if (!folder.empty() && IsFolder(folder.c_str())) SetCurrentDirectoryA(folder.c_str());
    return true;
}

// Puts the folder of a PowerBuilder runtime first on the DLL search; false, with nothing
// changed, when it is no folder.  SetDllDirectoryA ranks it right after the program's own
// folder and before the system folders, both for LoadLibrary by bare name and for the
// imports of the DLLs loaded, so the VM, its own imports and the DLLs the runtime loads
// later are found there.  PATH gets it first as well, as the vendor's own hosting example
// does, for whatever searches PATH itself.
bool UseRuntimeFolder(const char* folder) {
    if (!IsFolder(folder)) return false;
    SetDllDirectoryA(folder);
    std::string path = folder;
    const DWORD length = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (length > 0) {
        std::string old(length, '\0');
        const DWORD got = GetEnvironmentVariableA("PATH", &old[0], length);
        if (got > 0 && got < length) path += ";" + old.substr(0, got);
    }
    SetEnvironmentVariableA("PATH", path.c_str());
    return true;
}

// The VM's CreateSession, in the string type of its generation; false when a structured
// exception ended it.  The texts are converted before the VM is entered.  Whatever the
// VM handed out is kept in HostState.Session, even when it failed.
template <class Char>
bool CreateSessionGuarded(const char** names, pbni::pbuint count, pbni::PBXRESULT* result) {
    typedef typename pbni::VmFor<Char>::Type Vm;
    Vm* vm = static_cast<Vm*>(HostState.Vm);
    const SessionText<Char> appName(ServiceSettings.PBAppName);
    SessionTextList<Char> libraries(names, count);
    pbni::IPB_SessionT<Char>* session = nullptr;
    unsigned long exceptionCode = 0;
    const bool returned = CallCatchingStructuredExceptions(
        [&] { *result = vm->CreateSession(appName.get(), libraries.get(), count, &session); }, &exceptionCode);
    HostState.Session = session;
    return returned;
}

// Finds the class PBObjName and creates the hosted object; 0, or 1627 after the failure
// has been logged and reported.
template <class Char>
unsigned long CreateHostedObject(pbni::IPB_SessionT<Char>* session) {
    const SessionText<Char> className(ServiceSettings.PBObjName);
    // The hosted class is a nonvisual user object: its group is a user-object group.
    const pbni::pbgroup group = session->FindGroup(className.get(), pbni::pbgroup_userobject);
    if (group == nullptr) return FailStart("Function FindGroup failed");
    HostState.HostedClass = session->FindClass(group, className.get());
    if (HostState.HostedClass == nullptr) return FailStart("Function FindClass failed");
    HostState.HostedObject = session->NewObject(HostState.HostedClass);
    return 0;
}

}  // namespace

unsigned long StartPowerBuilderHost() {
    // First of all: the log file's name may be relative too.
    if (!EnterWorkingFolder()) return FailStart("Working folder was not found");
    if (ServiceSettings.StartRefusal[0] != '\0') return FailStart(ServiceSettings.StartRefusal);
    if (ServiceSettings.PBRuntimeDir[0] != '\0' && !UseRuntimeFolder(ServiceSettings.PBRuntimeDir)) {
        return FailStart("PowerBuilder runtime folder was not found");
    }
    DWORD loadError = 0;
    HostState.VmModule = LoadVmModule(ServiceSettings.PBVMName, &loadError);
    if (HostState.VmModule == nullptr) {
        return FailStart(loadError == ERROR_BAD_EXE_FORMAT ? kWrongBitnessText : "PowerBuilder VM was not found");
    }
#ifdef _WIN64
    // Every 64-bit VM (PowerBuilder 2017 R2 and later) speaks the later interface.
    HostState.Unicode = true;
#else
    // The release decides the interface, not the file name: an administrator may rename a
    // DLL, and a VM without a version resource is taken for PowerBuilder 9.
    HostState.Unicode = ModuleVersionMajor(HostState.VmModule) >= pbni::kFirstUnicodeMajorVersion;
#endif

    const pbni::PB_GetVM_Function getVm = reinterpret_cast<pbni::PB_GetVM_Function>(
        reinterpret_cast<void*>(GetProcAddress(HostState.VmModule, pbni::kGetVmExport)));
    if (getVm == nullptr) {
        ReportServiceEvent(kEventError, "Function PB_GetVM was not found");
        return kHostStartFailed;
    }
    CallGetVm(getVm, &HostState.Vm);
    if (HostState.Vm == nullptr) return FailStart("Function PB_GetVM failed");

    // A path that names an existing file is a list file, unless it names a library itself;
    // anything else (no such path, a directory, a library) is the list itself.
    const DWORD attributes = GetFileAttributesA(ServiceSettings.PBLibList);
    const bool fileForm = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                          !NamesOneLibrary(ServiceSettings.PBLibList);

    std::unique_ptr<char[]> fileText;
    char* listText = nullptr;
    if (fileForm) {
        WriteLogLine("LibList: From File");
        fileText = ReadListFile(ServiceSettings.PBLibList);
        if (!fileText) return kHostStartFailed;
        listText = fileText.get();
    } else {
        WriteLogLine("LibList: From Registry");
        // Both fields have the same capacity; the split cuts the work copy in place and
        // the names stay there for the rest of the process.
        static_assert(sizeof ServiceSettings.LibListWork >= sizeof ServiceSettings.PBLibList,
                      "the work copy holds the whole value");
        std::memcpy(ServiceSettings.LibListWork, ServiceSettings.PBLibList,
                    sizeof ServiceSettings.PBLibList);
        ServiceSettings.LibListWork[sizeof ServiceSettings.PBLibList - 1] = '\0';
        listText = ServiceSettings.LibListWork;
    }

    // One pointer more than names, so that even an empty list hands the VM a real array.
    const std::size_t expected = CountLibraryNames(listText);
    std::unique_ptr<const char*[]> names(new (std::nothrow) const char*[expected + 1]());
    if (!names) return FailStart("LibList file is too large");
    const std::size_t count = SplitLibraryList(listText, names.get());

    WriteLogLine(("Library Count: " + std::to_string(count)).c_str());
    // The VM takes the count as 16 bits: a longer list would reach it cut short.
    if (count > pbni::kMaxLibraries) return FailStart("Too many libraries (at most 65535)");
    // Names are logged whole, however long: each is its own line.
    for (std::size_t i = 0; i < count; ++i) WriteLogLine(names[i]);

    WriteLogLine("Before CreateSession");
    pbni::PBXRESULT result = -1;
    const pbni::pbuint count16 = static_cast<pbni::pbuint>(count);
    const bool returned = HostState.Unicode ? CreateSessionGuarded<wchar_t>(names.get(), count16, &result)
                                            : CreateSessionGuarded<char>(names.get(), count16, &result);
    if (!returned) return FailStart("Function CreateSession aborted");
    // A VM that claims success without handing out a session cannot be driven; going on
    // would call through a null pointer.
    if (result != 0 || HostState.Session == nullptr) return FailStart("Function CreateSession failed");
    WriteLogLine("After CreateSession");
    names.reset();
    fileText.reset();

    const unsigned long failure = WithSession([](auto* session) { return CreateHostedObject(session); });
    if (failure != 0) return failure;

    if (EventLogEnabled()) {
        WriteLogLine("PBNI Interface Initialized");
        ReportServiceEvent(kEventInformation, "PBNI Interface Initialized");
    }
    return 0;
}
