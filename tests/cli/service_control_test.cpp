// -start, -stop, -pause and -resume through the real Service Control Manager.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

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
    EXPECT_EQ(RunProduct({"-start", name()}).output,
              "Service command failed - service is already running!\r\n");
    // A continue is sent to a running service too: the manager decides.
    EXPECT_EQ(RunProduct({"-resume", name()}).output, "Service command successful!\r\n");

    EXPECT_EQ(RunProduct({"-pause", name()}).output, "Service command successful!\r\n");
    EXPECT_TRUE(kit::WaitForServiceState(name(), SERVICE_PAUSED));
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

TEST(ServiceControlUnknown, UnknownNameGivesTheSameLineForEveryCommand) {
    const std::string name = kit::UniqueName("PbvmNoSuch");
    for (const char* command : {"-start", "-stop", "-pause", "-resume"}) {
        const kit::RunResult r = RunProduct({command, name});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "Uninstall service failed - service does not exist!\r\n") << command;
    }
}

}  // namespace
