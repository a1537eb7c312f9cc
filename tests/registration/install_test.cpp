// Installing and removing services through the real Service Control Manager.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "kit/events.h"
#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"

namespace {

using kit::RunProduct;

const char* const kDefaultDescription = "Runs a PowerBuilder application as a Windows service.";

class Install : public ::testing::Test {
protected:
    kit::ServiceCleanup service_{kit::UniqueName("PbvmInstall")};
    const std::string& name() { return service_.name(); }
};

TEST_F(Install, ManualStartCreatesTheFullRegistration) {
    const kit::RunResult r = RunProduct({"-im", name(), name() + "Payroll service"});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "Install service '" + name() + "' successful!\r\n");

    const kit::ServiceConfig c = kit::ReadServiceConfig(name());
    ASSERT_TRUE(c.exists);
    EXPECT_EQ(c.startType, static_cast<unsigned long>(SERVICE_DEMAND_START));
    EXPECT_EQ(c.serviceType, static_cast<unsigned long>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(c.errorControl, static_cast<unsigned long>(SERVICE_ERROR_IGNORE));
    EXPECT_EQ(c.imagePath, kit::ProductPath() + " -r " + name());
    EXPECT_EQ(c.account, "LocalSystem");
    EXPECT_EQ(c.displayName, name() + "Payroll service");
    EXPECT_EQ(c.dependencies, "");
    EXPECT_EQ(c.description, kDefaultDescription);

    // Wine accepts the failure actions but neither stores nor reports them; on Windows
    // they read back as restart, restart, nothing, two minutes each, reset after a day.
    if (c.failureActionsKnown) {
        EXPECT_EQ(c.resetPeriod, 86400u);
        ASSERT_EQ(c.actions.size(), 3u);
        EXPECT_EQ(c.actions[0], std::make_pair(1ul, 120000ul));
        EXPECT_EQ(c.actions[1], std::make_pair(1ul, 120000ul));
        EXPECT_EQ(c.actions[2], std::make_pair(0ul, 120000ul));
    } else {
        EXPECT_TRUE(kit::RunningUnderWine());
    }

    const std::string source = kit::EventSourceKey(name());
    EXPECT_EQ(kit::ReadRegValue(source, "EventMessageFile").data, kit::ProductPath() + '\0');
    EXPECT_EQ(kit::ReadRegValue(source, "TypesSupported").data, std::string("\x07\0\0\0", 4));
}

TEST_F(Install, AutomaticStart) {
    EXPECT_EQ(RunProduct({"-ia", name(), name() + "Auto"}).output, "Install service '" + name() + "' successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name()).startType, static_cast<unsigned long>(SERVICE_AUTO_START));
}

TEST_F(Install, ExistingNameIsRefusedWithTheManagersErrorAndNoEventSource) {
    ASSERT_TRUE(kit::CreateTestService(name(), "C:\\windows\\notepad.exe"));
    const kit::RunResult r = RunProduct({"-im", name(), name() + "Again"});
    EXPECT_EQ(r.output, "Install service '" + name() + "' failed:\r\nError# 1073 - " +
                            kit::SystemErrorText(1073) + "\r\n");
    EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(name())));
    EXPECT_EQ(kit::ReadServiceConfig(name()).imagePath, "C:\\windows\\notepad.exe");
}

TEST_F(Install, PathWithABlankIsQuotedAndSoIsANameWithABlank) {
    kit::TempDir dir("pbvm inst");
    const std::string folder = dir / "with blank";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string copy = folder + "\\pbvmsvc.exe";
    ASSERT_TRUE(CopyFileA(kit::ProductPath().c_str(), copy.c_str(), FALSE));

    kit::RunResult r = kit::RunProgram(copy, {"-im", name(), name() + "Quoted"});
    EXPECT_EQ(r.output, "Install service '" + name() + "' successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name()).imagePath, "\"" + copy + "\" -r " + name());

    kit::ServiceCleanup blankName(kit::UniqueName("Pbvm Blank "));
    r = RunProduct({"-im", blankName.name(), blankName.name()});
    EXPECT_EQ(r.output, "Install service '" + blankName.name() + "' successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(blankName.name()).imagePath,
              kit::ProductPath() + " -r \"" + blankName.name() + "\"");
    // The service process must receive the name as one argument: split the image path
    // the way the C runtime splits a command line.
    int count = 0;
    const std::string image = kit::ReadServiceConfig(blankName.name()).imagePath;
    std::wstring wide(image.begin(), image.end());
    LPWSTR* args = CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::wstring(args[2]), std::wstring(blankName.name().begin(), blankName.name().end()));
    LocalFree(args);
}

class Uninstall : public Install {};

TEST_F(Uninstall, StoppedServiceAndItsEventSourceAreRemoved) {
    ASSERT_EQ(RunProduct({"-im", name(), name() + "Remove me"}).output,
              "Install service '" + name() + "' successful!\r\n");
    const kit::RunResult r = RunProduct({"-u", name()});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "Uninstall service '" + name() + "' successful!\r\n");
    EXPECT_FALSE(kit::ReadServiceConfig(name()).exists);
    EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(name())));
}

TEST_F(Uninstall, RunningOrPausedServiceIsLeftAloneWithItsEventSource) {
    ASSERT_TRUE(kit::StartTestService(name()));
    ASSERT_TRUE(kit::CreateRegKey(kit::EventSourceKey(name())));
    EXPECT_EQ(RunProduct({"-u", name()}).output,
              "Uninstall service '" + name() + "' failed - service is not stopped!\r\n");
    ASSERT_EQ(kit::SendControl(name(), SERVICE_CONTROL_PAUSE), 0u);
    ASSERT_TRUE(kit::WaitForServiceState(name(), SERVICE_PAUSED));
    EXPECT_EQ(RunProduct({"-u", name()}).output,
              "Uninstall service '" + name() + "' failed - service is not stopped!\r\n");
    EXPECT_EQ(kit::QueryServiceState(name()), static_cast<unsigned long>(SERVICE_PAUSED));
    EXPECT_TRUE(kit::RegKeyExists(kit::EventSourceKey(name())));
}

TEST_F(Uninstall, UnknownNameChangesNothing) {
    ASSERT_TRUE(kit::CreateRegKey(kit::EventSourceKey(name())));
    EXPECT_EQ(RunProduct({"-u", name()}).output,
              "Uninstall service '" + name() + "' failed - service does not exist!\r\n");
    EXPECT_TRUE(kit::RegKeyExists(kit::EventSourceKey(name())));
}

}  // namespace
