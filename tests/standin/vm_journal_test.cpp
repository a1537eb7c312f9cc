// The stand-in VM as a host sees it: a private copy of each build (bin/standin/pbvm90.dll, and
// pbvm170.dll of PowerBuilder 10 and later), driven through pbni.h in the build's string type,
// and the journal lines it writes (without time and thread id) checked exactly.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "pbhost/pbni.h"
#include "pbhost/seh_guard.h"
#include "standin/journal_text.h"

namespace {

using namespace pbni;
using Lines = std::vector<std::string>;

const unsigned long kTrapCode = 0xE0510700UL;

// Each generation's build, by its string type, and its interfaces with all their slots.
template <class Char>
std::string Module() { return sizeof(Char) == 1 ? "pbvm90" : "pbvm170"; }
struct ModuleName {
    template <class Char>
    static std::string GetName(int) { return Module<Char>(); }
};
template <class Char> struct Full { typedef IPB_Session Session; typedef IPB_Value Value; };
template <> struct Full<wchar_t> { typedef IPB_Session10 Session; typedef IPB_Value10 Value; };

// ANSI text in the generation's string type, converted as the host converts it.
std::string As(const std::string& ansi, char) { return ansi; }
std::wstring As(const std::string& ansi, wchar_t) {
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), &wide[0], int(wide.size())));
    return wide;
}

template <class Char>
class StandinVm : public ::testing::Test {
protected:
    static std::basic_string<Char> T(const std::string& ansi) { return As(ansi, Char()); }

    void SetUp() override {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string exeDir(path);
        exeDir.resize(exeDir.rfind('\\'));
        GetTempPathA(MAX_PATH, path);
        // Outside ASCII, so that a library is found only by the right name.
        dir_ = std::string(path) + "standin-vm-Z\xFCrich-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir_.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA((exeDir + "\\standin\\" + name_ + ".dll").c_str(),
                              file(name_ + ".dll").c_str(), FALSE));
        std::ofstream(file("service.lib"), std::ios::binary)
            << "class n_service\n"
               "function of_run L\n"
               "function of_stop QB\n"
               "function of_slow L takes 2000\n"
               "function of_z\xFCrich LS\n";
        module_ = LoadLibraryA(file(name_ + ".dll").c_str());
        ASSERT_NE(module_, nullptr);
        auto getVm = reinterpret_cast<PB_GetVM_Function>(
            reinterpret_cast<void*>(GetProcAddress(module_, kGetVmExport)));
        ASSERT_NE(getVm, nullptr);
        void* vm = nullptr;
        ASSERT_EQ(getVm(&vm), PBX_OK);
        vm_ = static_cast<typename VmFor<Char>::Type*>(vm);
        // The library, and its name as a wrong conversion (UTF-8 taken for ANSI) makes it.
        lib_ = wrong_ = file("service.lib");
        wrong_.replace(wrong_.find('\xFC'), 1, "\xC3\xBC");
        const auto lib = T(lib_), wrong = T(wrong_);
        const Char* libs[] = {lib.c_str(), wrong.c_str()};
        ASSERT_EQ(vm_->CreateSession(T("app").c_str(), libs, 2, &session_), PBX_OK);
        pbgroup group = session_->FindGroup(T("n_service").c_str(), pbgroup_userobject);
        cls_ = session_->FindClass(group, T("N_Service").c_str());
        obj_ = session_->NewObject(cls_);
        ASSERT_NE(obj_, nullptr);
    }

    void TearDown() override {
        if (session_) session_->Release();
        if (module_) FreeLibrary(module_);
        for (const std::string& name : {name_ + ".dll", name_ + ".journal", name_ + ".ini", std::string("service.lib")})
            DeleteFileA(file(name).c_str());
        RemoveDirectoryA(dir_.c_str());
    }

    std::string file(const std::string& name) const { return dir_ + "\\" + name; }

    // ANSI text quoted as this build's journal shows it; from 0xA0 on, code page 1252 and
    // UTF-16 have the same characters.
    static std::string Q(const std::string& ansi) {
        const std::string narrow = standin::quote(ansi);
        return sizeof(Char) == 1 ? narrow : std::regex_replace(narrow, std::regex("\\\\x([A-F][0-9A-F])"), "\\u00$1");
    }

    // The lines after the first that starts with `start`, each without its time and thread id.
    Lines Journal(const std::string& start = "CreateObject ") const {
        std::ifstream in(file(name_ + ".journal"), std::ios::binary);
        Lines lines;
        bool after = false;
        for (std::string line; std::getline(in, line);) {
            line.erase(0, line.find(' ', line.find(' ') + 1) + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (after) lines.push_back(line);
            after = after || line.rfind(start, 0) == 0;
        }
        return lines;
    }

    const std::string name_ = Module<Char>();
    std::string dir_, lib_, wrong_;
    HMODULE module_ = nullptr;
    typename VmFor<Char>::Type* vm_ = nullptr;
    IPB_SessionT<Char>* session_ = nullptr;
    pbclass cls_ = nullptr;
    pbobject obj_ = nullptr;
};

typedef ::testing::Types<char, wchar_t> Generations;
TYPED_TEST_SUITE(StandinVm, Generations, ModuleName);

TYPED_TEST(StandinVm, EveryUnusedSlotTraps) {
    PBCallInfoT<TypeParam> ci;
    ASSERT_EQ(this->session_->InitCallInfo(this->cls_, 1, &ci), PBX_OK);
    auto* vm = this->vm_;
    auto* session = static_cast<typename Full<TypeParam>::Session*>(this->session_);
    auto* args = ci.pArgs;
    auto* value = static_cast<typename Full<TypeParam>::Value*>(args->GetAt(0));
    Lines expected{"PrepareCallRecord #2 1 -> 0 #5", "ArgumentAt #5 0 -> ok"};
    unsigned long code = 0;
#define TRAP(object, name, n)                                                                 \
    code = 0;                                                                                 \
    EXPECT_FALSE(CallCatchingStructuredExceptions([&] { object->Unused##n(); }, &code)) << n; \
    EXPECT_EQ(code, kTrapCode) << name << " " << n;                                           \
    expected.push_back("unexpected slot " #n " of " name);
#define VM_TRAP(n) TRAP(vm, "IPB_VM", n)
#define SESSION_TRAP(n) TRAP(session, "IPB_Session", n)
#define ARGUMENTS_TRAP(n) TRAP(args, "IPB_Arguments", n)
#define VALUE_TRAP(n) TRAP(value, "IPB_Value", n)
    PBNI_ARGUMENTS_UNUSED(ARGUMENTS_TRAP)
    if constexpr (sizeof(TypeParam) == 1) {
        PBNI_VM_UNUSED(VM_TRAP) PBNI_SESSION_UNUSED(SESSION_TRAP) PBNI_VALUE_UNUSED(VALUE_TRAP)
    } else {
        PBNI_VM10_UNUSED(VM_TRAP) PBNI_SESSION10_UNUSED(SESSION_TRAP) PBNI_VALUE10_UNUSED(VALUE_TRAP)
    }
    session->FreeCallInfo(&ci);  // still callable after the traps
    expected.push_back("ReleaseCallRecord #5");
    // Unused: VM 2 of 3 or 4 of 5, session 261 of 271 or 281 of 291, value 39 of 43 or 42 of 46.
    EXPECT_EQ(expected.size(), 2u + 1 + (sizeof(TypeParam) == 1 ? 2 + 261 + 39 : 4 + 281 + 42) + 1);
    EXPECT_EQ(this->Journal(), expected);
}

// Strings from the host are in the build's own type: the library is found by its name
// outside ASCII (and not by a wrong conversion of it), and so are the ANSI library's classes
// and functions.  The library's own text (InvokeBegin's function name) stays bytes.
TYPED_TEST(StandinVm, NamesArriveInTheBuildsStringType) {
    auto T = &TestFixture::T;
    auto* session = this->session_;
    EXPECT_EQ(session->GetMethodID(this->cls_, T("of_z\xFCrich").c_str(), PBRT_FUNCTION, T("LS").c_str(), 1), 3);
    PBCallInfoT<TypeParam> ci;
    ASSERT_EQ(session->InitCallInfo(this->cls_, 3, &ci), PBX_OK);
    EXPECT_EQ(ci.pArgs->GetAt(0)->SetString(T("Z\xFCrich\t").c_str()), PBX_OK);
    EXPECT_EQ(session->InvokeObjectFunction(this->obj_, 3, &ci), PBX_OK);
    session->FreeCallInfo(&ci);
    const std::string lib = this->Q(this->lib_), wrong = this->Q(this->wrong_), z = this->Q("Z\xFCrich\t");
    EXPECT_EQ(this->Journal("settings "),
              (Lines{"PB_GetVM -> 0 vm", "CreateSession \"app\" 2 " + lib + " " + wrong + " -> 0 #1",
                     "library " + lib + " -> 1", "library " + wrong + " -> unreadable 3",
                     "FindGroup \"n_service\" 6 -> #3", "FindClass #3 \"N_Service\" -> #2", "CreateObject #2 -> #4",
                     "GetMethodID #2 " + this->Q("of_z\xFCrich") + " 0 \"LS\" 1 -> 3", "PrepareCallRecord #2 3 -> 0 #5",
                     "ArgumentAt #5 0 -> ok", "WriteString #5 0 " + z + " -> 0",
                     "InvokeBegin \"of_z\\xFCrich\" #4 3 #5 " + z, "InvokeEnd \"of_z\\xFCrich\" #4 3 #5 -> 0",
                     "ReleaseCallRecord #5"}));
}

std::string g_journal;  // the journal of the VM under test

// Asks from another thread once the creating thread is inside of_slow (it stays 2 s): its
// InvokeBegin line is written inside the call, before the call's time passes.
template <class Char>
DWORD WINAPI AskForException(void* session) {
    for (int i = 0; i < 1000; ++i, Sleep(10)) {
        std::ifstream in(g_journal, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.find("InvokeBegin \"of_slow\"") != std::string::npos) break;
    }
    static_cast<IPB_SessionT<Char>*>(session)->HasExceptionThrown();
    return 0;
}

TYPED_TEST(StandinVm, HostErrorsForOtherThreads) {
    DWORD me = GetCurrentThreadId(), other = 0;
    auto* session = this->session_;
    g_journal = this->file(this->name_ + ".journal");
    HANDLE thread = CreateThread(nullptr, 0, AskForException<TypeParam>, session, 0, &other);
    PBCallInfoT<TypeParam> ci;
    session->InitCallInfo(this->cls_, 2, &ci);
    EXPECT_EQ(session->InvokeObjectFunction(this->obj_, 2, &ci), PBX_OK);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    session->FreeCallInfo(&ci);
    // Once this thread has left the VM, only the thread is wrong.
    DWORD third = 0;
    thread = CreateThread(nullptr, 0, AskForException<TypeParam>, session, 0, &third);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    const std::string asked = "host-error \"HasExceptionThrown on thread ";
    const std::string created = ", but the session was created on thread " + std::to_string(me);
    EXPECT_EQ(this->Journal(),
              (Lines{"PrepareCallRecord #2 2 -> 0 #5", "InvokeBegin \"of_slow\" #4 2 #5",
                     asked + std::to_string(other) + " while thread " + std::to_string(me) +
                         " is inside the VM\"",
                     asked + std::to_string(other) + created + "\"",
                     "HasExceptionThrown -> false", "InvokeEnd \"of_slow\" #4 2 #5 -> 0",
                     "ReleaseCallRecord #5",
                     asked + std::to_string(third) + created + "\"",
                     "HasExceptionThrown -> false"}));
}

// With journal_mode = memory the lines reach the file only when the DLL unloads, in order,
// with the lines of the DLL's own end.
TYPED_TEST(StandinVm, AJournalHeldInMemoryIsWrittenAtUnload) {
    this->session_->Release();
    this->session_ = nullptr;
    FreeLibrary(this->module_);
    const std::string journal = this->file(this->name_ + ".journal");
    ASSERT_TRUE(DeleteFileA(journal.c_str()));
    std::ofstream(this->file(this->name_ + ".ini"), std::ios::binary) << "[standin]\r\njournal_mode = memory\r\n";
    this->module_ = LoadLibraryA(this->file(this->name_ + ".dll").c_str());
    ASSERT_NE(this->module_, nullptr);
    auto getVm = reinterpret_cast<PB_GetVM_Function>(
        reinterpret_cast<void*>(GetProcAddress(this->module_, kGetVmExport)));
    void* vm = nullptr;
    ASSERT_EQ(getVm(&vm), PBX_OK);
    EXPECT_EQ(GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing written yet";
    FreeLibrary(this->module_);
    this->module_ = nullptr;
    EXPECT_EQ(this->Journal("settings "),
              (Lines{"PB_GetVM -> 0 vm", "detach " + std::to_string(GetCurrentProcessId()) + " unload"}));
}

}  // namespace
