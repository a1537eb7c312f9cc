// Entry points of the stand-in VM (pbvm90.dll, or pbvm170.dll / pbvm.dll for PowerBuilder
// 10 and later, see generation.h): DllMain, the PB_GetVM export and the VM object that
// creates sessions.
#include <windows.h>

#include <string>

#include "files.h"
#include "generation.h"
#include "runtime.h"
#include "session.h"
#include "standin/text_util.h"

// PB_GetVM is __cdecl, as the vendor declares it; building with STANDIN_GETVM_STDCALL makes
// it __stdcall instead, to check that the host copes with either.  Both are exported as the
// undecorated "PB_GetVM": MinGW through the attribute and -Wl,--kill-at (which drops the @4
// of __stdcall), MSVC through exports.def, since its dllexport would keep the decoration.
#if defined(__GNUC__)
#define STANDIN_EXPORT __declspec(dllexport)
#else
#define STANDIN_EXPORT
#endif
#ifdef STANDIN_GETVM_STDCALL
#define STANDIN_GETVM_CONVENTION __stdcall
#else
#define STANDIN_GETVM_CONVENTION __cdecl
#endif

namespace standin {

namespace {

struct Runtime {
    std::string modulePath;
    std::string settingsPath;
    Settings settings;
    Appender journal;
};

Runtime g_runtime;

std::string moduleFileName(HMODULE module) {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(module, &path[0], DWORD(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string pidText() { return std::to_string(GetCurrentProcessId()); }

// Runs in DllMain: only kernel32 calls and the CRT, which is already set up by then.
#ifdef STANDIN_IMPORTS_PBSHR
extern "C" __declspec(dllimport) long __cdecl StandinSharedRuntime(void);
#endif

void start(HMODULE module) {
#ifdef STANDIN_IMPORTS_PBSHR
    // The call makes pbshr.dll a load-time import, found along the DLL search like the
    // real runtime's companions; its result does not matter.
    StandinSharedRuntime();
#endif
    Runtime& r = g_runtime;
    r.modulePath = moduleFileName(module);
    std::string base = withoutExtension(r.modulePath);
    r.settingsPath = base + ".ini";

    std::string text;
    DWORD error = 0;
    bool found = readWholeFile(r.settingsPath, text, error);
    if (found) r.settings = parseSettings(text);
    r.journal.open(r.settings.journal.empty() ? base + ".journal"
                                              : resolveBeside(r.modulePath, r.settings.journal));
    if (r.settings.journalInMemory) r.journal.holdInMemory();

    journal(JournalLine("attach").word(pidText()).str(r.modulePath));
    JournalLine line("settings");
    line.str(r.settingsPath).arrow();
    if (found) line.word("found");
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) line.word("missing");
    else line.word("unreadable").unum(error);
    journal(line);
    for (const Problem& p : r.settings.problems)
        journal(JournalLine("settings-error").num(p.line).str(p.message));
    // The folder the application's relative paths are taken in, as the host left it.
    if (r.settings.recordFolder) {
        std::string folder(MAX_PATH, '\0');
        const DWORD length = GetCurrentDirectoryA(DWORD(folder.size()), &folder[0]);
        folder.resize(length < folder.size() ? length : 0);
        journal(JournalLine("folder").str(folder));
    }
}

class Vm final : public VmInterface {
public:
    pbni::PBXRESULT CreateSession(const Char* applicationName, const Char** libraryList,
                                  pbni::pbuint numLibs, SessionBase** session) override {
        VmCall call("CreateSession", nullptr);
        JournalLine line("CreateSession");
        line.str(applicationName).unum(numLibs);
        bool listOk = numLibs == 0 || libraryList;
        if (listOk)
            for (pbni::pbuint i = 0; i < numLibs; ++i) line.str(libraryList[i]);
        line.arrow();
        if (!session) {
            journal(line.error("null session pointer"));
            return -1;
        }
        if (!listOk) {
            *session = nullptr;
            journal(line.error("null library list"));
            return -1;
        }
        const Settings& s = settings();
        if (s.createSessionNull) {
            *session = nullptr;
            journal(line.num(0).word("null"));
            return pbni::PBX_OK;
        }
        const Outcome& outcome = s.createSession;
        if (outcome.kind == Outcome::Kind::Return) {
            Session* created = new Session();
            journal(line.num(0).handle(created->serial));
            for (pbni::pbuint i = 0; i < numLibs; ++i) created->addLibrary(libraryList[i]);
            *session = created;
            return pbni::PBX_OK;
        }
        journal(line.word(describeOutcome(outcome)));
        if (outcome.kind == Outcome::Kind::Fail) {
            *session = nullptr;
            return outcome.value;
        }
        call.leave();
        produceFault(outcome);
        return -1;
    }
#define STANDIN_VM_TRAP(n) \
    void Unused##n() override { trapSlot(n, "IPB_VM", nullptr); }
    STANDIN_VM_UNUSED(STANDIN_VM_TRAP)
#undef STANDIN_VM_TRAP
};

Vm g_vm;

}  // namespace

const Settings& settings() { return g_runtime.settings; }

void journal(const JournalLine& line) {
    g_runtime.journal.append(std::to_string(GetCurrentThreadId()) + " " + line.text() + "\r\n",
                             &monotonicStamp);
}

}  // namespace standin

extern "C" STANDIN_EXPORT pbni::PBXRESULT STANDIN_GETVM_CONVENTION PB_GetVM(void** vm) {
    using namespace standin;
    JournalLine line("PB_GetVM");
    line.arrow();
    if (!vm) {
        journal(line.error("null pointer"));
        return -1;
    }
    long result = 0;
    switch (settings().getVm) {
    case Settings::GetVm::Ok:
        *vm = static_cast<VmInterface*>(&g_vm);
        line.num(0).word("vm");
        break;
    case Settings::GetVm::Null:
        *vm = nullptr;
        line.num(0).word("null");
        break;
    case Settings::GetVm::Error:
        *vm = nullptr;
        result = -1;
        line.num(-1).word("null");
        break;
    }
    journal(line);
    return result;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        standin::start(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        // reserved is non-null when the whole process is ending.
        standin::journal(standin::JournalLine("detach")
                             .word(standin::pidText())
                             .word(reserved ? "exit" : "unload"));
        standin::g_runtime.journal.flush(reserved != nullptr);
    }
    return TRUE;
}
