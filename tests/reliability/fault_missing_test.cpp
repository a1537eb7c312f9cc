// What goes missing between the installation and the start: the VM DLL, the log
// file's folder, or both.  The service fails the documented way, or runs without its
// log, and does nothing else.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "reliability/load_support.h"
#include "runtime/hosted_service.h"

namespace reliability_test {
namespace {

using runtime_test::HostedClass;
using runtime_test::HostedService;

// The names in the folder, sorted; sub-folders end with a backslash.
std::vector<std::string> FolderContent(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        names.push_back(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string DefaultLogPath(const std::string& serviceName) {
    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\" + serviceName + ".log";
}

class FaultMissing : public ::testing::Test {
protected:
    void SetUp() override {
        HostedClass hosted;
        hosted.run = "returns 100";
        service_.Install(hosted);
        ASSERT_TRUE(WaitForNoProcessIn(service_.folder(), 10000));
    }
    // The log goes to a folder that exists at the installation and is gone at the start.
    void LogToRemovedFolder() {
        const std::string logs = service_.folder() + "\\logs";
        ASSERT_TRUE(CreateDirectoryA(logs.c_str(), nullptr));
        EXPECT_EQ(service_.Run({"-reg", service_.name(), "LogFileName", logs + "\\service.log"}),
                  "Update LogFileName successful!\r\n");
        ASSERT_TRUE(RemoveDirectoryA(logs.c_str()));
    }
    void RemoveVm() { ASSERT_TRUE(DeleteFileA((service_.folder() + "\\" + kit::TestVm().file).c_str())); }

    // The documented failure of a missing VM: stopped with 1066 and 1627, the one error
    // event, and no process left.
    void ExpectVmNotFound() {
        EXPECT_EQ(service_.StartUntilStopped(), "Start service successful!\r\n");
        const SERVICE_STATUS_PROCESS status = service_.Status();
        EXPECT_EQ(status.dwWin32ExitCode, 1066u);
        EXPECT_EQ(status.dwServiceSpecificExitCode, 1627u);
        EXPECT_TRUE(WaitForNoProcessIn(service_.folder(), 10000));
        EXPECT_EQ(service_.Events(1), std::vector<std::string>{"1:C0000003:PowerBuilder VM was not found"});
        Sleep(300);  // nothing more may follow
        EXPECT_EQ(service_.Events(2, 0).size(), 1u);
        EXPECT_FALSE(kit::FileExists(DefaultLogPath(service_.name())));
    }

    HostedService service_{"PbvmMissing"};
};

TEST_F(FaultMissing, VmRemovedAfterInstallationFailsTheStartAsDocumented) {
    RemoveVm();
    ExpectVmNotFound();
    EXPECT_EQ(service_.Log(), "PowerBuilder VM was not found\r\n");
    EXPECT_EQ(FolderContent(service_.folder()),
              (std::vector<std::string>{"app.pbl", "pbvmsvc.exe", "service.log"}));
}

TEST_F(FaultMissing, VmAndLogFolderMissingLoseTheLineAndOnlyTheLine) {
    LogToRemovedFolder();
    RemoveVm();
    ExpectVmNotFound();
    EXPECT_EQ(FolderContent(service_.folder()), (std::vector<std::string>{"app.pbl", "pbvmsvc.exe"}))
        << "the log folder is not created, no file appears anywhere else";
}

TEST_F(FaultMissing, LogFolderMissingLosesTheLinesAndTheServiceRuns) {
    LogToRemovedFolder();
    EXPECT_EQ(service_.Start(), "Start service successful!\r\n");
    ASSERT_TRUE(service_.WaitForState(SERVICE_RUNNING));
    ASSERT_TRUE(service_.WaitForCalls("InvokeEnd", "of_run", 3));
    EXPECT_EQ(service_.Run({"-stop", service_.name()}), "Service command successful!\r\n");
    ASSERT_TRUE(service_.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(service_.Status().dwWin32ExitCode, 0u);
    EXPECT_TRUE(WaitForNoProcessIn(service_.folder(), 10000));
    EXPECT_EQ(service_.Calls("InvokeBegin", "of_stop").size(), 1u);
    EXPECT_EQ(service_.Events(3), (std::vector<std::string>{"4:40000001:PBNI Interface Initialized",
                                                           "4:40000001:Service started",
                                                           "4:40000001:Service stopped"}));
    EXPECT_EQ(FolderContent(service_.folder()),
              (std::vector<std::string>{"app.pbl", kit::TestVm().file, kit::TestVm().base + ".journal", "pbvmsvc.exe"}));
    EXPECT_FALSE(kit::FileExists(DefaultLogPath(service_.name())));
}

}  // namespace
}  // namespace reliability_test
