// The service process's start: parameters read from the registry, their defaults, and
// the ways a start fails, seen through the real Service Control Manager.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "runtime/hosted_service.h"

namespace runtime_test {
namespace {

const char* const kInstalled = "successful!\r\n";

TEST(ServiceStart, EachMissingRequiredParameterGivesOnlyItsEventAndNoService) {
    const char* required[] = {"PBLibList", "PBAppName", "PBObjName"};
    for (int missing = 0; missing < 3; ++missing) {
        HostedService service("PbvmMissing");
        service.Run({"-im", service.name(), service.name()});
        for (int k = 0; k < 3; ++k) {
            if (k != missing) service.Run({"-reg", service.name(), required[k], "x"});
        }
        // The process ends before it connects to the manager, which reports that.
        EXPECT_EQ(service.Start(), "Service command for '" + service.name() +
                                       "' failed:\r\nError# 1053 - " + kit::SystemErrorText(1053) + "\r\n");
        EXPECT_EQ(service.Events(1, 5000),
                  std::vector<std::string>{std::string("1:C0000003:GetRegString ") + required[missing] + " failed"});
        Sleep(300);  // nothing more may follow
        EXPECT_EQ(service.Events(2, 0).size(), 1u);
        EXPECT_EQ(service.State(), static_cast<unsigned long>(SERVICE_STOPPED));
    }
}

TEST(ServiceStart, LogFileAndEventLogDefaultWhenMissingEmptyOrTooLarge) {
    const std::string overLong = "C:\\" + std::string(258, 'l') + ".log";  // 265 characters
    const char* logValues[] = {nullptr, "", nullptr};
    for (int variant = 0; variant < 3; ++variant) {
        HostedService service("PbvmDefaults");
        HostedClass hosted;
        hosted.run = "returns 0";
        service.Install(hosted);
        const std::string key = kit::ServiceKey(service.name());
        if (variant == 2) {
            service.Run({"-reg", service.name(), "LogFileName", overLong});
        } else if (logValues[variant] == nullptr) {
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "LogFileName");
        } else {
            service.Run({"-reg", service.name(), "LogFileName", logValues[variant]});
        }
        if (variant == 1) service.Run({"-reg", service.name(), "EventLog", ""});

        char windows[MAX_PATH] = {0};
        GetWindowsDirectoryA(windows, MAX_PATH);
        const std::string defaultLog = std::string(windows) + "\\" + service.name() + ".log";
        DeleteFileA(defaultLog.c_str());

        EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");
        const std::string log = kit::ReadWholeFile(defaultLog);
        EXPECT_EQ(log.substr(0, 24), "LibList: From Registry\r\n") << variant;
        EXPECT_NE(log.find("PBNI Interface Initialized\r\n"), std::string::npos) << "switch on by default";
        DeleteFileA(defaultLog.c_str());
        EXPECT_EQ(service.Events(3),
                  (std::vector<std::string>{"4:40000001:PBNI Interface Initialized",
                                            "4:40000001:Service started", "4:40000001:Service stopped"}));
    }
}

TEST(ServiceStart, HostStartFailureStopsWith1066And1627) {
    HostedService service;
    HostedClass hosted;
    service.Install(hosted);
    service.Run({"-o", service.name(), "n_not_there"});
    EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");
    const SERVICE_STATUS_PROCESS status = service.Status();
    EXPECT_EQ(status.dwWin32ExitCode, 1066u);
    EXPECT_EQ(status.dwServiceSpecificExitCode, 1627u);
    EXPECT_NE(service.Log().find("After CreateSession\r\nFunction FindGroup failed\r\n"), std::string::npos);
    EXPECT_EQ(service.Events(1), std::vector<std::string>{"1:C0000003:Function FindGroup failed"});
}

TEST(ServiceStart, StartupResultBecomesTheServiceSpecificExitCode) {
    HostedService service;
    HostedClass hosted;
    hosted.startup = "returns 42";
    service.Install(hosted);
    EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");
    const SERVICE_STATUS_PROCESS status = service.Status();
    EXPECT_EQ(status.dwWin32ExitCode, 1066u);
    EXPECT_EQ(status.dwServiceSpecificExitCode, 42u);
    EXPECT_EQ(service.Events(2), (std::vector<std::string>{"4:40000001:PBNI Interface Initialized",
                                                          "1:C0000003:Service start failed"}));
    EXPECT_TRUE(service.Calls("InvokeBegin", "of_run").empty());
    EXPECT_TRUE(service.Calls("InvokeBegin", "of_stop").empty());
}

TEST(ServiceStart, VmNameRuntimeAndWorkingFolderAreReadFromTheRegistry) {
    HostedService service;
    HostedClass hosted;
    hosted.run = "returns 0";
    service.Install(hosted);
    MoveFileA((service.folder() + "\\" + kit::TestVm().file).c_str(), (service.folder() + "\\othervm.dll").c_str());
    service.Run({"-v", service.name(), "othervm.dll"});
    EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");
    EXPECT_EQ(service.Status().dwWin32ExitCode, 0u);
    // The stand-in names its journal after its own file.
    EXPECT_NE(kit::ReadWholeFile(service.folder() + "\\othervm.journal").find("InvokeBegin \"of_stop\""),
              std::string::npos);

    // A runtime folder of its own, off the search path, as PowerBuilder 2019 R3 and later
    // install it.
    const std::string runtime = service.folder() + "\\Runtime 22.2.0.3356";
    ASSERT_TRUE(CreateDirectoryA(runtime.c_str(), nullptr));
    ASSERT_TRUE(MoveFileA((service.folder() + "\\othervm.dll").c_str(), (runtime + "\\othervm.dll").c_str()));
    service.Run({"-reg", service.name(), "PBRuntimeDir", runtime});
    service.Run({"-reg", service.name(), "PBWorkDir", runtime});  // where a relative log goes
    service.Run({"-reg", service.name(), "LogFileName", "app.log"});
    EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");
    EXPECT_EQ(service.Status().dwWin32ExitCode, 0u);
    EXPECT_NE(kit::ReadWholeFile(runtime + "\\othervm.journal").find("InvokeBegin \"of_stop\""), std::string::npos);
    EXPECT_EQ(kit::ReadWholeFile(runtime + "\\app.log").substr(0, 24), "LibList: From Registry\r\n");
}

TEST(ServiceStart, NameWithABlankStartsAndStops) {
    HostedService service("Pbvm Blank ");
    HostedClass hosted;
    EXPECT_NE(service.Install(hosted).find(kInstalled), std::string::npos);
    EXPECT_EQ(service.Start(), "Start service successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(service.Run({"-stop", service.name()}), "Service command successful!\r\n");
    ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED));
    const auto starts = service.Calls("InvokeBegin", "of_startup");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].Field(4), service.name()) << "of_startup gets the whole name";
}

}  // namespace
}  // namespace runtime_test
