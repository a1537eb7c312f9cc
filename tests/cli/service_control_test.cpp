// -start, -stop, -pause and -resume through the real Service Control Manager.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/services.h"

namespace {

using kit::RunProduct;

class ServiceControl : public ::testing::Test {
protected:
    const std::string& name() { return service_.name(); }
    kit::ServiceCleanup service_{kit::UniqueName("PbvmControl")};
};

TEST_F(ServiceControl, CommandsOnAStoppedService) {
    const std::string image = kit::QuoteArgument(kit::TestProgramDirectory() + "\\test_service.exe") +
                              " -r " + name();
    ASSERT_TRUE(kit::CreateTestService(name(), image));
    // Values the service counts as missing: one that fills its whole field, empty ones,
    // one too long for the service's 260-byte read.
    for (const auto& value : std::vector<std::vector<std::string>>{
             {"PBAppName", std::string(50, 'a')}, {"PBObjName", ""}, {"EventLog", ""},
             {"LogFileName", std::string(260, 'l')}, {"PBWorkDir", std::string(260, 'w')},
             {"RunTimeout", "10 min"}, {"StopTimeout", "0"}}) {
        RunProduct({"-reg", name(), value[0], value[1]});
    }
    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, MAX_PATH);
    // Never started: the manager reports 1077, on Windows and under Wine alike.
    const std::string status = RunProduct({"-status", name()}).output;
    EXPECT_EQ(status.substr(0, status.rfind("Time at shutdown: ")),
              "Service: " + name() + "\r\nDisplay name: " + name() +
                  "\r\nState: STOPPED\r\nExit code: 1077\r\nStart: manual\r\nAccount: LocalSystem\r\n"
                  "Dependencies: (none)\r\nPBLibList: (not set)\r\nPBAppName: (not set)\r\n"
                  "PBObjName: (not set)\r\nPBVMName: (not set, default " + kit::DefaultNamedVm().file +
                  ")\r\nPBRuntimeDir: (not set)\r\nPBWorkDir: (not set)\r\nLogFileName: (not set, default " +
                  windows + "\\" + name() + ".log)\r\nEventLog: (not set, default true)\r\n"
                  "RunTimeout: 10 min (invalid: the service will not start)\r\nStopTimeout: 0\r\n");
    // The manager's own default (Wine: 180 s), since the service never set it.
    EXPECT_TRUE(std::regex_match(status.substr(status.rfind("Time at shutdown: ")),
                                 std::regex("Time at shutdown: [1-9][0-9]* s\r\n")));
    for (const char* command : {"-stop", "-pause", "-resume"}) {
        const kit::RunResult r = RunProduct({command, name()});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "Service command failed - service is not running!\r\n") << command;
    }
    EXPECT_EQ(kit::QueryServiceState(name()), static_cast<unsigned long>(SERVICE_STOPPED));

    const kit::RunResult start = RunProduct({"-start", name()});
    EXPECT_EQ(start.output, "Start service successful!\r\n");
    EXPECT_TRUE(kit::WaitForServiceState(name(), SERVICE_RUNNING));
}

TEST_F(ServiceControl, CommandsOnARunningService) {
    ASSERT_TRUE(kit::StartTestService(name()));
    const std::string status = RunProduct({"-status", name()}).output;
    EXPECT_TRUE(std::regex_match(status, std::regex("[\\s\\S]*\r\nState: RUNNING\r\nProcess: [1-9][0-9]*\r\n"
                                                    "Start: manual\r\n[\\s\\S]*")))
        << status;
    EXPECT_EQ(RunProduct({"-start", name()}).output,
              "Service command failed - service is already running!\r\n");
    // A continue is sent to a running service too: the manager decides.
    EXPECT_EQ(RunProduct({"-resume", name()}).output, "Service command successful!\r\n");

    EXPECT_EQ(RunProduct({"-pause", name()}).output, "Service command successful!\r\n");
    EXPECT_TRUE(kit::WaitForServiceState(name(), SERVICE_PAUSED));
    EXPECT_EQ(kit::StatusValue(name(), "State"), "PAUSED");
    EXPECT_EQ(RunProduct({"-pause", name()}).output, "Service command successful!\r\n");
    EXPECT_EQ(RunProduct({"-start", name()}).output,
              "Service command failed - service is already running!\r\n")
        << "start does not resume a paused service";
    EXPECT_EQ(kit::QueryServiceState(name()), static_cast<unsigned long>(SERVICE_PAUSED));

    EXPECT_EQ(RunProduct({"-resume", name()}).output, "Service command successful!\r\n");
    EXPECT_TRUE(kit::WaitForServiceState(name(), SERVICE_RUNNING));
    EXPECT_EQ(RunProduct({"-stop", name()}).output, "Service command successful!\r\n");
    EXPECT_TRUE(kit::WaitForServiceState(name(), SERVICE_STOPPED));
}

TEST_F(ServiceControl, RefusedRequestsPrintTheManagersError) {
    // An image that is not a service at all: the manager refuses the start.
    ASSERT_TRUE(kit::CreateTestService(name(), "C:\\windows\\no-such-program.exe"));
    const kit::RunResult r = RunProduct({"-start", name()});
    EXPECT_EQ(r.output, "Service command for '" + name() + "' failed:\r\nError# 2 - " +
                            kit::SystemErrorText(2) + "\r\n");

    // A service that accepts no pause: the manager refuses the control.
    kit::ServiceCleanup stopOnly(kit::UniqueName("PbvmStopOnly"));
    const std::string image = kit::QuoteArgument(kit::TestProgramDirectory() + "\\test_service.exe") +
                              " -r " + stopOnly.name() + " stop-only";
    ASSERT_TRUE(kit::CreateTestService(stopOnly.name(), image));
    ASSERT_EQ(RunProduct({"-start", stopOnly.name()}).output, "Start service successful!\r\n");
    ASSERT_TRUE(kit::WaitForServiceState(stopOnly.name(), SERVICE_RUNNING));
    EXPECT_EQ(RunProduct({"-pause", stopOnly.name()}).output,
              "Service command for '" + stopOnly.name() + "' failed:\r\nError# 1052 - " +
                  kit::SystemErrorText(1052) + "\r\n");
    EXPECT_EQ(kit::QueryServiceState(stopOnly.name()), static_cast<unsigned long>(SERVICE_RUNNING));
}

// A service whose start failed shows both exit codes, and each value as the service read it.
TEST_F(ServiceControl, StatusOfAFailedStart) {
    kit::TempDir dir("pbvmstatus");
    ASSERT_EQ(RunProduct({"-im", name(), "Payroll nightly run"}).output,
              "Install service '" + name() + "' successful!\r\n");
    for (const auto& value : std::vector<std::vector<std::string>>{
             {"PBLibList", "C:\\Apps\\payroll.pbd;C:\\Apps\\common.pbd"}, {"PBAppName", "payroll"},
             {"PBObjName", "n_payroll"}, {"PBVMName", "missing.dll"}, {"PBRuntimeDir", std::string(260, 'r')},
             {"PBWorkDir", dir.path()}, {"LogFileName", dir / "svc.log"}, {"EventLog", "True"},
             {"RunTimeout", "0600"}}) {
        RunProduct({"-reg", name(), value[0], value[1]});
    }
    ASSERT_EQ(RunProduct({"-start", name()}).output, "Start service successful!\r\n");
    ASSERT_TRUE(kit::WaitForServiceState(name(), SERVICE_STOPPED));
    const std::string status = RunProduct({"-status", name()}).output;
    EXPECT_EQ(status.substr(0, status.rfind("Time at shutdown: ")),
              "Service: " + name() + "\r\nDisplay name: Payroll nightly run\r\nState: STOPPED\r\n"
              "Exit code: 1066, service-specific 1627\r\nStart: manual\r\nAccount: LocalSystem\r\n"
              "Dependencies: (none)\r\nPBLibList: C:\\Apps\\payroll.pbd;C:\\Apps\\common.pbd\r\n"
              "PBAppName: payroll\r\nPBObjName: n_payroll\r\nPBVMName: missing.dll\r\n"
              "PBRuntimeDir: (not set)\r\nPBWorkDir: " + dir.path() + "\r\nLogFileName: " + (dir / "svc.log") +
              "\r\nEventLog: True\r\nRunTimeout: 600\r\nStopTimeout: (not set, no limit)\r\n");
    EXPECT_EQ(kit::ReadWholeFile(dir / "svc.log"), "PowerBuilder VM was not found\r\n");
}

TEST(ServiceControlUnknown, UnknownNameGivesTheSameLineForEveryCommand) {
    const std::string name = kit::UniqueName("PbvmNoSuch");
    for (const char* command : {"-start", "-stop", "-pause", "-resume"}) {
        const kit::RunResult r = RunProduct({command, name});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "Uninstall service failed - service does not exist!\r\n") << command;
    }
    EXPECT_EQ(RunProduct({"-status", name}).output, "Query service '" + name + "' failed:\r\nError# 1060 - " +
                                                        kit::SystemErrorText(1060) + "\r\n");
}

}  // namespace
