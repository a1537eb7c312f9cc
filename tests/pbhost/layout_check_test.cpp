// The host against layoutvm.dll, a VM written from PBNI's slot numbers and argument sizes
// alone, in PowerBuilder 9's layout and in that of 10 and later: every call must arrive
// through the right slot of the right interface, with `this`, the arguments (strings of
// the generation's type) and the call records the VM handed out, and the 16-bit results
// must be read as 16 bits (the VM sets the upper half of EAX).  In the 64-bit build the
// layout VM is a 64-bit DLL with 8-byte slots, pointers and handles.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "common/service_settings.h"
#include "kit/files.h"
#include "kit/product.h"
#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "pbhost/vm_startup.h"

namespace {

using Lines = std::vector<std::string>;

// The layout VM's folder: PowerBuilder 9's layout, or that of 10 and later in layoutvm10.
class LayoutCheck : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ResetServiceSettings();
        ResetHostState();
        service_ = kit::UniqueName("Layout");
        ASSERT_TRUE(CopyToField(ServiceSettings.ServiceName, service_.c_str()));
        ASSERT_TRUE(CopyToField(ServiceSettings.PBAppName, "layoutapp"));
        ASSERT_TRUE(CopyToField(ServiceSettings.PBObjName, "svc_layout"));
        ASSERT_TRUE(CopyToField(ServiceSettings.PBLibList, "one.pbl;two.pbl"));
        ASSERT_TRUE(CopyToField(ServiceSettings.PBVMName, "layoutvm.dll"));
        ASSERT_TRUE(SetDllDirectoryA((kit::TestProgramDirectory() + "\\" + GetParam()).c_str()));
        ASSERT_TRUE(SetEnvironmentVariableA("LAYOUTVM_CALLS", (dir_ / "calls.txt").c_str()));
    }
    void TearDown() override {
        while (HMODULE vm = GetModuleHandleA("layoutvm.dll")) FreeLibrary(vm);
        SetEnvironmentVariableA("LAYOUTVM_CALLS", nullptr);
        SetDllDirectoryA(nullptr);
        ResetHostState();
    }
    Lines Calls() const {
        Lines lines;
        const std::string text = kit::ReadWholeFile(dir_ / "calls.txt");
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    kit::TempDir dir_{"layout"};
    std::string service_;
};

TEST_P(LayoutCheck, EveryCallGoesThroughItsSlotWithItsArguments) {
    ASSERT_EQ(StartPowerBuilderHost(), 0u) << ::testing::PrintToString(Calls());
    EXPECT_EQ(CallStartup(), 0u);
    EXPECT_EQ(CallRun(), 1234u);
    CallPaused();
    CallControl(0xC0DE0081ul);
    CallResumed();  // not in the class: the lookup gives 0xFFFF in AX and nothing follows
    StoreStopReason(5);
    CallStop();

    const std::string invoked = "IPB_Session 35 HasExceptionThrown session";
    const Lines expected = {
        "PB_GetVM",
        std::string("IPB_VM ") + (GetParam() == std::string("layoutvm") ? "0" : "3") +
            " CreateSession vm \"layoutapp\" [\"one.pbl\" \"two.pbl\"] 2 <out>",
        "IPB_Session 40 FindGroup session \"svc_layout\" 6",
        "IPB_Session 41 FindClass session grp \"svc_layout\"",
        "IPB_Session 47 NewObject session cls",
        "IPB_Session 3 GetMethodID session cls \"of_startup\" 0 \"LSB\" 1",
        "IPB_Session 6 InitCallInfo session cls 1 ci1",
        "IPB_Arguments 1 GetAt args 0",
        "IPB_Value 35 SetString arg0 \"" + service_ + "\"",
        "IPB_Arguments 1 GetAt args 1",
        "IPB_Value 27 SetBool arg1 0",
        "IPB_Session 33 InvokeObjectFunction session obj 1 ci1",
        invoked,
        "IPB_Value 11 GetLong ret",
        "IPB_Session 7 FreeCallInfo session ci1",
        "IPB_Session 3 GetMethodID session cls \"of_run\" 0 \"L\" 1",
        "IPB_Session 6 InitCallInfo session cls 2 ci2",
        "IPB_Session 33 InvokeObjectFunction session obj 2 ci2",
        invoked,
        "IPB_Value 11 GetLong ret",
        "IPB_Session 7 FreeCallInfo session ci2",
        "IPB_Session 3 GetMethodID session cls \"of_paused\" 0 \"Q\" 1",
        "IPB_Session 6 InitCallInfo session cls 4 ci3",
        "IPB_Session 33 InvokeObjectFunction session obj 4 ci3",
        invoked,
        "IPB_Session 7 FreeCallInfo session ci3",
        "IPB_Session 3 GetMethodID session cls \"of_control\" 0 \"QU\" 1",
        "IPB_Session 6 InitCallInfo session cls 5 ci4",
        "IPB_Arguments 1 GetAt args 0",
        "IPB_Value 29 SetUlong arg0 3235774593",
        "IPB_Session 33 InvokeObjectFunction session obj 5 ci4",
        invoked,
        "IPB_Session 7 FreeCallInfo session ci4",
        "IPB_Session 3 GetMethodID session cls \"of_resumed\" 0 \"Q\" 1",
        "IPB_Session 3 GetMethodID session cls \"of_stop\" 0 \"QB\" 1",
        "IPB_Session 6 InitCallInfo session cls 3 ci5",
        "IPB_Arguments 1 GetAt args 0",
        "IPB_Value 27 SetBool arg0 1",
        "IPB_Session 33 InvokeObjectFunction session obj 3 ci5",
        invoked,
        "IPB_Session 7 FreeCallInfo session ci5",
        "IPB_Session 0 Release session",
        "unloaded",
    };
    Lines calls = Calls();
    // Where the host has the session written is its own business (the calls on `session`
    // show that it arrived); the address only has to be a whole argument of its own.
    if (calls.size() > 1) calls[1] = std::regex_replace(calls[1], std::regex(" 0x[0-9A-F]{8}([0-9A-F]{8})?$"), " <out>");
    EXPECT_EQ(calls, expected);
    for (const std::string& line : calls) EXPECT_NE(line.rfind("unexpected slot", 0), 0u) << line;
    EXPECT_EQ(GetModuleHandleA("layoutvm.dll"), nullptr);
}

// The 64-bit build has only the layout of PowerBuilder 10 and later (slot x 8).
#ifdef _WIN64
INSTANTIATE_TEST_SUITE_P(Generations, LayoutCheck, ::testing::Values("layoutvm10"),
#else
INSTANTIATE_TEST_SUITE_P(Generations, LayoutCheck, ::testing::Values("layoutvm", "layoutvm10"),
#endif
                         [](const ::testing::TestParamInfo<const char*>& vm) { return std::string(vm.param); });

}  // namespace
