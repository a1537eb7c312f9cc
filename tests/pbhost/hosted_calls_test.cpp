// The calls of the hosted object's functions: the arguments as the VM receives them, the
// results, and the events that report the outcome.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/service_settings.h"
#include "kit/product.h"
#include "pbhost/host_environment.h"
#include "pbhost/host_state.h"
#include "pbhost/hosted_calls.h"
#include "pbhost/vm_startup.h"

namespace pbhost_test {
namespace {

class HostedCalls : public HostEnvironment {
protected:
    // Starts over the class and leaves what the start journaled and reported behind.
    void StartWith(const std::string& library) {
        UseLibrary(library);
        ASSERT_EQ(StartPowerBuilderHost(), 0u) << Log();
        ASSERT_EQ(Journal(), StandardStartJournal());
        ForgetJournal();
        mark_ = kit::MarkEvents();
        logAfterStart_ = Log();
    }
    std::string logAfterStart_;
};

TEST_F(HostedCalls, SuccessfulStartFillsHostStateLogsEveryStageAndReportsInitialized) {
    UseLibrary();
    EXPECT_EQ(StartPowerBuilderHost(), 0u);
    EXPECT_EQ(Log(), ListLog("Registry", {libraryPath_}) + "After CreateSession\r\nPBNI Interface Initialized\r\n");
    EXPECT_EQ(Events(1), Lines{kInformation + "PBNI Interface Initialized"});
    EXPECT_EQ(Journal(), StandardStartJournal());
    EXPECT_EQ(HostState.VmModule, GetModuleHandleA(kit::TestVm().file.c_str()));
    EXPECT_EQ(HostState.Unicode, kit::TestVm().unicode);
    EXPECT_TRUE(HostState.Vm && HostState.Session && HostState.HostedClass && HostState.HostedObject);
}

// The release in the VM's version resource decides which interface the host speaks, not
// the DLL's name: each stand-in build goes under the name of the generation under test.
// The PowerBuilder 9 build here has no version resource at all, and its PB_GetVM pops its
// own argument (__stdcall, not the vendor's __cdecl).  A wrong choice would call a slot
// that traps.  The 64-bit host speaks the later interface whatever the resource says: there
// the build without a resource is of that layout, and must be taken for it.
TEST_F(HostedCalls, TheVersionResourceDecidesTheInterfaceWhateverTheFileName) {
    const struct {
        const char* build;
        bool unicode;
    } builds[] = {{"standin-stdcall\\pbvm90.dll", sizeof(void*) == 8},
                  {"standin\\pbvm170.dll", true},
                  {"standin-pb22\\pbvm.dll", true}};
    for (const auto& vm : builds) {
        SCOPED_TRACE(vm.build);
        Restart();
        const std::string built = kit::TestProgramDirectory() + "\\" + vm.build;
        ASSERT_TRUE(CopyFileA(built.c_str(), (dir_ / kit::TestVm().file).c_str(), FALSE)) << built;
        ASSERT_TRUE(CopyFileA(kit::Pb22Companion().c_str(), (dir_ / "pbshr.dll").c_str(), FALSE));
        StartWith(HostedClass({"of_run L returns 250"}));
        EXPECT_EQ(HostState.Unicode, vm.unicode);
        EXPECT_EQ(CallStartup(), 0u);
        EXPECT_EQ(CallRun(), 250u);
        CallStop();
        EXPECT_EQ(Events(2), (Lines{kInformation + "Service started", kInformation + "Service stopped"}));
    }
}

// Text outside ASCII reaches a session of PowerBuilder 10 and later as the same characters
// in UTF-16, and one of PowerBuilder 9 as the same bytes.  The stand-in opens the library
// by the name it was given, so a name converted wrongly would not be found.
TEST_F(HostedCalls, TextOutsideAsciiReachesTheSessionAsTheSameCharacters) {
    char ansi[2][16] = {};
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, 0, L"\u00FC", -1, ansi[0], sizeof ansi[0], nullptr, &lossy);
    WideCharToMultiByte(CP_ACP, 0, L"Z\u00FCrich", -1, ansi[1], sizeof ansi[1], nullptr, nullptr);
    if (lossy) GTEST_SKIP() << "the ANSI code page has no u with diaeresis";
    const std::string zurich = ansi[1];
    // The journal shows a UTF-16 unit outside ASCII as \uXXXX, a byte as \xXX.
    const std::string bytes = Q(ansi[0]).substr(1, Q(ansi[0]).size() - 2);
    auto shown = [&](std::string quoted) {
        for (size_t at; kit::TestVm().unicode && (at = quoted.find(bytes)) != std::string::npos;) {
            quoted.replace(at, bytes.size(), "\\u00FC");
        }
        return quoted;
    };
    ASSERT_TRUE(CreateDirectoryA((dir_ / zurich).c_str(), nullptr));
    libraryPath_ = WriteFile(zurich + "\\app.pbl", HostedClass());
    SetLibraryList(libraryPath_ + ";");
    const std::string service = "Payroll " + zurich;
    ASSERT_TRUE(CopyToField(ServiceSettings.ServiceName, service.c_str()));

    ASSERT_EQ(StartPowerBuilderHost(), 0u) << Log();
    EXPECT_EQ(CallStartup(), 0u);
    EXPECT_EQ(Journal({"CreateSession", "library", "WriteString"}),
              (Lines{"CreateSession \"pbhostapp\" 1 " + shown(Q(libraryPath_)) + " -> 0 #1",
                     "library " + shown(Q(libraryPath_)) + " -> 1", "WriteString #5 0 " + shown(Q(service)) + " -> 0"}));
}

// PowerBuilder 2019 R3 and later keep their runtime in a folder of its own, off the
// search path: the VM there, and the DLL it imports, are found through PBRuntimeDir, and
// only through it.
TEST_F(HostedCalls, AVmInARuntimeFolderOfItsOwnIsFoundThroughPBRuntimeDir) {
    const std::string runtime = dir_ / "Runtime 22.2.0.3356";
    ASSERT_TRUE(CreateDirectoryA(runtime.c_str(), nullptr));
    const std::string built = kit::TestProgramDirectory() + "\\standin-pb22\\pbvm.dll";
    ASSERT_TRUE(CopyFileA(built.c_str(), (runtime + "\\pbvm.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(kit::Pb22Companion().c_str(), (runtime + "\\pbshr.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyToField(ServiceSettings.PBVMName, "pbvm.dll"));
    ASSERT_TRUE(SetDllDirectoryA(nullptr));
    UseLibrary();
    ExpectStartFails("PowerBuilder VM was not found\r\n", "PowerBuilder VM was not found");

    Restart();
    ASSERT_TRUE(CopyToField(ServiceSettings.PBRuntimeDir, runtime.c_str()));
    ASSERT_EQ(StartPowerBuilderHost(), 0u) << Log();
    EXPECT_TRUE(HostState.Unicode);
    EXPECT_EQ(CallStartup(), 0u);
    EXPECT_NE(GetModuleHandleA("pbshr.dll"), nullptr);
    char path[4096] = {0};
    GetEnvironmentVariableA("PATH", path, sizeof path);
    EXPECT_EQ(std::string(path).substr(0, runtime.size() + 1), runtime + ";") << "first on PATH too";
    const std::string journal = kit::ReadWholeFile(runtime + "\\pbvm.journal");
    EXPECT_NE(journal.find("InvokeEnd \"of_startup\""), std::string::npos);
    EXPECT_EQ(journal.find("unexpected"), std::string::npos);
    CallStop();
}

TEST_F(HostedCalls, StartupPassesServiceNameAndFalseAndItsResultDecides) {
    StartWith(HostedClass({"of_startup LSB returns 0 5 fail"}));
    EXPECT_EQ(CallStartup(), 0u);
    EXPECT_EQ(CallStartup(), 5u);
    EXPECT_EQ(CallStartup(), 1627u) << "a function that could not run has not started the service";
    const std::string name = "\"" + service_ + "\"";
    const Lines journal = Journal();
    ASSERT_GE(journal.size(), 11u);
    EXPECT_EQ(Lines(journal.begin(), journal.begin() + 11),
              (Lines{"GetMethodID #2 \"of_startup\" 0 \"LSB\" 1 -> 0", "PrepareCallRecord #2 0 -> 0 #5",
                     "ArgumentAt #5 0 -> ok", "WriteString #5 0 " + name + " -> 0", "ArgumentAt #5 1 -> ok",
                     "WriteBoolean #5 1 false -> 0", "InvokeBegin \"of_startup\" #4 0 #5 " + name + " false",
                     "InvokeEnd \"of_startup\" #4 0 #5 -> 0", "HasExceptionThrown -> false",
                     "ReadLong #5 result -> 0", "ReleaseCallRecord #5"}));
    EXPECT_EQ(Journal({"InvokeEnd", "ReadLong", "ReleaseCallRecord"}),
              (Lines{"InvokeEnd \"of_startup\" #4 0 #5 -> 0", "ReadLong #5 result -> 0", "ReleaseCallRecord #5",
                     "InvokeEnd \"of_startup\" #4 0 #6 -> 5", "ReadLong #6 result -> 5", "ReleaseCallRecord #6",
                     "InvokeEnd \"of_startup\" #4 0 #7 -> fail -1", "ReleaseCallRecord #7"}));
    EXPECT_EQ(Events(3), (Lines{kInformation + "Service started", kError + "Service start failed",
                                kError + "InvokeObjectFunction failed for of_startup"}));
    EXPECT_EQ(Log(), logAfterStart_) << "the calls write nothing to the log";
}

TEST_F(HostedCalls, RunResultsAndTheFailureFlag) {
    StartWith(HostedClass({"of_run L returns 1500 -1 2 0 fail:3 250"}));
    const struct {
        unsigned long result;
        long runFailure;
    } steps[] = {{1500, 0}, {0, 100}, {2, 0}, {0, 0}, {0, 100}, {250, 0}};
    for (const auto& step : steps) {
        EXPECT_EQ(CallRun(), step.result);
        EXPECT_EQ(LoadRunFailure(), step.runFailure) << "after the call that gave " << step.result;
    }
    EXPECT_EQ(Journal({"InvokeEnd", "ReadLong"}),
              (Lines{"InvokeEnd \"of_run\" #4 1 #5 -> 1500", "ReadLong #5 result -> 1500",
                     "InvokeEnd \"of_run\" #4 1 #6 -> -1", "ReadLong #6 result -> -1",
                     "InvokeEnd \"of_run\" #4 1 #7 -> 2", "ReadLong #7 result -> 2",
                     "InvokeEnd \"of_run\" #4 1 #8 -> 0", "ReadLong #8 result -> 0",
                     "InvokeEnd \"of_run\" #4 1 #9 -> fail 3",
                     "InvokeEnd \"of_run\" #4 1 #10 -> 250", "ReadLong #10 result -> 250"}));
    EXPECT_EQ(Journal({"ReleaseCallRecord"}).size(), 6u);
    EXPECT_EQ(Events(1), Lines{kError + "InvokeObjectFunction failed for of_run"});
}

TEST_F(HostedCalls, PausedAndResumedAreAnnouncedWhateverTheSwitchSays) {
    ASSERT_TRUE(CopyToField(ServiceSettings.EventLog, "True"));
    StartWith(HostedClass({"of_resumed Q returns fail"}));
    CallPaused();
    CallResumed();
    EXPECT_EQ(Journal({"GetMethodID", "InvokeBegin", "InvokeEnd", "ReleaseCallRecord"}),
              (Lines{"GetMethodID #2 \"of_paused\" 0 \"Q\" 1 -> 3", "InvokeBegin \"of_paused\" #4 3 #5",
                     "InvokeEnd \"of_paused\" #4 3 #5 -> 0", "ReleaseCallRecord #5",
                     "GetMethodID #2 \"of_resumed\" 0 \"Q\" 1 -> 4", "InvokeBegin \"of_resumed\" #4 4 #6",
                     "InvokeEnd \"of_resumed\" #4 4 #6 -> fail -1", "ReleaseCallRecord #6"}));
    EXPECT_EQ(Events(2), (Lines{kInformation + "Service paused", kInformation + "Service resumed"}));
}

TEST_F(HostedCalls, CodesArePassedAsUnsignedLongsAndNothingIsReported) {
    StartWith(HostedClass({"of_control QU returns fail:9"}));
    CallControl(200);
    CallPowerEvent(0x8013);
    CallSessionChange(0xFFFFFFFFul);
    EXPECT_EQ(Journal({"GetMethodID", "WriteUnsignedLong", "InvokeBegin", "ReleaseCallRecord"}),
              (Lines{"GetMethodID #2 \"of_control\" 0 \"QU\" 1 -> 5", "WriteUnsignedLong #5 0 200 -> 0",
                     "InvokeBegin \"of_control\" #4 5 #5 200", "ReleaseCallRecord #5",
                     "GetMethodID #2 \"of_powerevent\" 0 \"QU\" 1 -> 6", "WriteUnsignedLong #6 0 32787 -> 0",
                     "InvokeBegin \"of_powerevent\" #4 6 #6 32787", "ReleaseCallRecord #6",
                     "GetMethodID #2 \"of_sessionchg\" 0 \"QU\" 1 -> 7",
                     "WriteUnsignedLong #7 0 4294967295 -> 0",
                     "InvokeBegin \"of_sessionchg\" #4 7 #7 4294967295", "ReleaseCallRecord #7"}));
    EXPECT_EQ(Events(0), Lines{});
}

TEST_F(HostedCalls, EachMissingFunctionCostsOneErrorEventPerCall) {
    StartWith("class svc_host\r\nfunction of_startup LS\r\n");  // wrong signature: not found
    EXPECT_EQ(CallStartup(), 1627u);
    EXPECT_EQ(CallRun(), 0u);
    EXPECT_EQ(LoadRunFailure(), 100);
    CallPaused();
    CallResumed();
    CallControl(128);
    CallPowerEvent(4);
    CallSessionChange(5);
    CallControl(129);
    CallStop();
    EXPECT_EQ(Events(12), (Lines{kError + "GetMethodID failed for of_startup",
                                 kError + "GetMethodID failed for of_run",
                                 kError + "GetMethodID failed for of_paused", kInformation + "Service paused",
                                 kError + "GetMethodID failed for of_resumed", kInformation + "Service resumed",
                                 kError + "GetMethodID failed for of_control",
                                 kError + "GetMethodID failed for of_powerevent",
                                 kError + "GetMethodID failed for of_sessionchg",
                                 kError + "GetMethodID failed for of_control",
                                 kError + "GetMethodID failed for of_stop", kInformation + "Service stopped"}));
    const Lines journal = Journal();
    ASSERT_EQ(journal.size(), 11u) << "nothing but the lookups and the end";
    EXPECT_EQ(journal[0], "GetMethodID #2 \"of_startup\" 0 \"LSB\" 1 -> not-found");
    EXPECT_EQ(Lines(journal.end() - 2, journal.end()), (Lines{"ReleaseSession #1", "detach " + pid_ + " unload"}));
}

TEST_F(HostedCalls, PowerScriptExceptionsAreClearedReportedAndCountAsFailedCalls) {
    StartWith(HostedClass({"of_startup LSB returns exception", "of_run L returns exception 100",
                           "of_paused Q returns exception", "of_stop QB returns exception"}));
    EXPECT_EQ(CallStartup(), 1627u);
    EXPECT_EQ(CallRun(), 0u);
    EXPECT_EQ(LoadRunFailure(), 100);
    EXPECT_EQ(CallRun(), 100u);
    EXPECT_EQ(LoadRunFailure(), 0);
    CallPaused();
    CallStop();
    EXPECT_EQ(Journal({"InvokeEnd", "HasExceptionThrown", "ClearException", "ReadLong", "ReleaseCallRecord"}),
              (Lines{"InvokeEnd \"of_startup\" #4 0 #5 -> exception", "HasExceptionThrown -> true", "ClearException",
                     "ReleaseCallRecord #5", "InvokeEnd \"of_run\" #4 1 #6 -> exception", "HasExceptionThrown -> true",
                     "ClearException", "ReleaseCallRecord #6", "InvokeEnd \"of_run\" #4 1 #7 -> 100",
                     "HasExceptionThrown -> false", "ReadLong #7 result -> 100", "ReleaseCallRecord #7",
                     "InvokeEnd \"of_paused\" #4 3 #8 -> exception", "HasExceptionThrown -> true", "ClearException",
                     "ReleaseCallRecord #8", "InvokeEnd \"of_stop\" #4 2 #9 -> exception",
                     "HasExceptionThrown -> true", "ClearException", "ReleaseCallRecord #9"}));
    EXPECT_EQ(Events(6), (Lines{kError + "PowerScript exception in of_startup", kError + "PowerScript exception in of_run",
                                kError + "PowerScript exception in of_paused", kInformation + "Service paused",
                                kError + "PowerScript exception in of_stop", kInformation + "Service stopped"}));
}

TEST_F(HostedCalls, AFaultInStartupFailsTheStartAfterItsLineAndEventAndCallsNothingMore) {
    StartWith(HostedClass({"of_startup LSB returns access-violation"}));
    EXPECT_EQ(CallStartup(), 1627u);
    EXPECT_EQ(Log(), logAfterStart_ + "Exception 0xC0000005 in of_startup\r\n");
    EXPECT_EQ(Events(1), Lines{kError + "Exception 0xC0000005 in of_startup"});
    const Lines journal = Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back(), "InvokeEnd \"of_startup\" #4 0 #5 -> access-violation");
}

// of_stop learns whether the stop came from a shutdown; then the session and the DLL end.
class StopCalls : public HostedCalls, public ::testing::WithParamInterface<unsigned long> {};

TEST_P(StopCalls, StopPassesTheShutdownFlagThenEndsSessionAndDll) {
    StartWith(HostedClass());
    StoreStopReason(GetParam());
    CallStop();
    const std::string flag = GetParam() == 5 ? "true" : "false";
    EXPECT_EQ(Journal(), (Lines{"GetMethodID #2 \"of_stop\" 0 \"QB\" 1 -> 2", "PrepareCallRecord #2 2 -> 0 #5",
                                "ArgumentAt #5 0 -> ok", "WriteBoolean #5 0 " + flag + " -> 0",
                                "InvokeBegin \"of_stop\" #4 2 #5 " + flag, "InvokeEnd \"of_stop\" #4 2 #5 -> 0",
                                "HasExceptionThrown -> false", "ReleaseCallRecord #5", "ReleaseSession #1", "detach " + pid_ + " unload"}));
    EXPECT_EQ(Events(1), Lines{kInformation + "Service stopped"});
    EXPECT_EQ(GetModuleHandleA(kit::TestVm().file.c_str()), nullptr);
    EXPECT_TRUE(!HostState.VmModule && !HostState.Session && !HostState.HostedObject);
}

INSTANTIATE_TEST_SUITE_P(ByStopReason, StopCalls, ::testing::Values(0ul, 1ul, 5ul),
                         [](const ::testing::TestParamInfo<unsigned long>& info) {
                             return "Reason" + std::to_string(info.param);
                         });

TEST_F(HostedCalls, WithTheSwitchOffStartAndStopAreNotAnnouncedAndAFailedStopStillEnds) {
    ASSERT_TRUE(CopyToField(ServiceSettings.EventLog, "True"));
    StartWith(HostedClass({"of_stop QB returns fail"}));
    EXPECT_EQ(CallStartup(), 0u);
    CallStop();
    EXPECT_EQ(Journal({"InvokeEnd", "ReleaseCallRecord", "ReleaseSession", "detach"}),
              (Lines{"InvokeEnd \"of_startup\" #4 0 #5 -> 0", "ReleaseCallRecord #5",
                     "InvokeEnd \"of_stop\" #4 2 #6 -> fail -1", "ReleaseCallRecord #6", "ReleaseSession #1",
                     "detach " + pid_ + " unload"}));
    EXPECT_EQ(Events(0), Lines{});
}

TEST_F(HostedCalls, AWholeServiceLifeInOrder) {
    StartWith(HostedClass({"of_run L returns 10 0"}));
    EXPECT_EQ(CallStartup(), 0u);
    EXPECT_EQ(CallRun(), 10u);
    CallPaused();
    CallResumed();
    EXPECT_EQ(CallRun(), 0u);
    EXPECT_EQ(LoadRunFailure(), 0);
    CallStop();
    EXPECT_EQ(Events(4), (Lines{kInformation + "Service started", kInformation + "Service paused",
                                kInformation + "Service resumed", kInformation + "Service stopped"}));
    EXPECT_EQ(Journal({"PrepareCallRecord"}).size(), 6u);
    EXPECT_EQ(Journal({"ReleaseCallRecord"}).size(), 6u) << "every prepared record is released";
    for (const std::string& line : Journal()) EXPECT_EQ(line.find(" error "), std::string::npos) << line;
    EXPECT_EQ(Log(), logAfterStart_) << "the calls write nothing to the log";
}

}  // namespace
}  // namespace pbhost_test
