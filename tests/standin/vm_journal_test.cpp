// The stand-in VM as a host sees it: a private copy of bin/standin/pbvm90.dll, driven through
// pbni.h, and the journal lines it writes (without time and thread id) checked exactly.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "pbhost/pbni.h"
#include "pbhost/seh_guard.h"

namespace {

using namespace pbni;
using Lines = std::vector<std::string>;

const unsigned long kTrapCode = 0xE0510700UL;

class StandinVm : public ::testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string exeDir(path);
        exeDir.resize(exeDir.rfind('\\'));
        GetTempPathA(MAX_PATH, path);
        dir_ = std::string(path) + "standin-vm-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir_.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA((exeDir + "\\standin\\pbvm90.dll").c_str(),
                              file("pbvm90.dll").c_str(), FALSE));
        std::ofstream(file("service.lib"), std::ios::binary)
            << "class n_service\n"
               "function of_run L\n"
               "function of_stop QB\n"
               "function of_slow L takes 1000\n";
        module_ = LoadLibraryA(file("pbvm90.dll").c_str());
        ASSERT_NE(module_, nullptr);
        auto getVm = reinterpret_cast<PB_GetVM_Function>(
            reinterpret_cast<void*>(GetProcAddress(module_, kGetVmExport)));
        ASSERT_NE(getVm, nullptr);
        ASSERT_EQ(getVm(&vm_), PBX_OK);
        std::string lib = file("service.lib");
        const char* libs[] = {lib.c_str()};
        ASSERT_EQ(vm_->CreateSession("app", libs, 1, &session_), PBX_OK);
        pbgroup group = session_->FindGroup("n_service", pbgroup_userobject);
        cls_ = session_->FindClass(group, "n_service");
        obj_ = session_->NewObject(cls_);
        ASSERT_NE(obj_, nullptr);
    }

    void TearDown() override {
        if (session_) session_->Release();
        if (module_) FreeLibrary(module_);
        for (const char* name : {"pbvm90.dll", "pbvm90.journal", "service.lib"})
            DeleteFileA(file(name).c_str());
        RemoveDirectoryA(dir_.c_str());
    }

    std::string file(const char* name) const { return dir_ + "\\" + name; }

    // The lines after CreateObject, each without its time and thread id.
    Lines Journal() const {
        std::ifstream in(file("pbvm90.journal"), std::ios::binary);
        Lines lines;
        bool after = false;
        for (std::string line; std::getline(in, line);) {
            line.erase(0, line.find(' ', line.find(' ') + 1) + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (after) lines.push_back(line);
            after = after || line.rfind("CreateObject ", 0) == 0;
        }
        return lines;
    }

    std::string dir_;
    HMODULE module_ = nullptr;
    IPB_VM* vm_ = nullptr;
    IPB_Session* session_ = nullptr;
    pbclass cls_ = nullptr;
    pbobject obj_ = nullptr;
};

TEST_F(StandinVm, EveryUnusedSlotTraps) {
    PBCallInfo ci;
    ASSERT_EQ(session_->InitCallInfo(cls_, 1, &ci), PBX_OK);
    IPB_Arguments* args = ci.pArgs;
    IPB_Value* value = args->GetAt(0);
    Lines expected{"PrepareCallRecord #2 1 -> 0 #5", "ArgumentAt #5 0 -> ok"};
    unsigned long code = 0;
#define TRAP(object, name, n)                                                                 \
    code = 0;                                                                                 \
    EXPECT_FALSE(CallCatchingStructuredExceptions([&] { object->Unused##n(); }, &code)) << n; \
    EXPECT_EQ(code, kTrapCode) << name << " " << n;                                           \
    expected.push_back("unexpected slot " #n " of " name);
#define VM_TRAP(n) TRAP(vm_, "IPB_VM", n)
#define SESSION_TRAP(n) TRAP(session_, "IPB_Session", n)
#define ARGUMENTS_TRAP(n) TRAP(args, "IPB_Arguments", n)
#define VALUE_TRAP(n) TRAP(value, "IPB_Value", n)
    PBNI_VM_UNUSED(VM_TRAP)
    PBNI_SESSION_UNUSED(SESSION_TRAP)
    PBNI_ARGUMENTS_UNUSED(ARGUMENTS_TRAP)
    PBNI_VALUE_UNUSED(VALUE_TRAP)
    session_->FreeCallInfo(&ci);  // still callable after the traps
    expected.push_back("ReleaseCallRecord #5");
    EXPECT_EQ(expected.size(), 2u + 2 + 261 + 1 + 39 + 1);
    EXPECT_EQ(Journal(), expected);
}

HANDLE g_invoking;  // set just before the creating thread calls of_slow

DWORD WINAPI AskForException(void* session) {
    WaitForSingleObject(g_invoking, INFINITE);
    Sleep(100);  // by then the creating thread sleeps inside of_slow (for 1000 ms)
    static_cast<IPB_Session*>(session)->HasExceptionThrown();
    return 0;
}

TEST_F(StandinVm, HostErrorsForOtherThreads) {
    DWORD me = GetCurrentThreadId(), other = 0;
    g_invoking = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, AskForException, session_, 0, &other);
    PBCallInfo ci;
    session_->InitCallInfo(cls_, 2, &ci);
    SetEvent(g_invoking);
    EXPECT_EQ(session_->InvokeObjectFunction(obj_, 2, &ci), PBX_OK);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    session_->FreeCallInfo(&ci);
    // Once this thread has left the VM, only the thread is wrong.
    DWORD third = 0;
    thread = CreateThread(nullptr, 0, AskForException, session_, 0, &third);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(g_invoking);
    const std::string asked = "host-error \"HasExceptionThrown on thread ";
    const std::string created = ", but the session was created on thread " + std::to_string(me);
    EXPECT_EQ(Journal(),
              (Lines{"PrepareCallRecord #2 2 -> 0 #5", "InvokeBegin \"of_slow\" #4 2 #5",
                     asked + std::to_string(other) + " while thread " + std::to_string(me) +
                         " is inside the VM\"",
                     asked + std::to_string(other) + created + "\"",
                     "HasExceptionThrown -> false", "InvokeEnd \"of_slow\" #4 2 #5 -> 0",
                     "ReleaseCallRecord #5",
                     asked + std::to_string(third) + created + "\"",
                     "HasExceptionThrown -> false"}));
}

}  // namespace
