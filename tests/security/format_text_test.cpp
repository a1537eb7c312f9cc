// User text is never a format: names, values and library names that hold printf
// conversions reach the output, the log file and the events literally, on every path
// that prints them.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"
#include "runtime/hosted_service.h"

namespace {

using kit::RunProduct;

// Conversions that read (%s, %x, %p, %d) or write (%n) memory when text is used as a format.
const std::string kConversions = "%s%n%x%p%d%%";

std::string Stored(const std::string& service, const std::string& valueName) {
    return kit::StringData(kit::ReadRegValue(kit::ServiceKey(service), valueName));
}

TEST(FormatText, EveryCommandLineMessagePrintsItsTextLiterally) {
    kit::ServiceCleanup service(kit::UniqueName("Pb" + kConversions));
    const std::string& name = service.name();
    const std::string installed = "Install service '" + name + "' successful!\r\n";

    EXPECT_EQ(RunProduct({"-im", name, "Display " + kConversions}).output, installed);
    EXPECT_EQ(kit::ReadServiceConfig(name).displayName, "Display " + kConversions);
    EXPECT_EQ(RunProduct({"-ia", name, "again"}).output,
              "Install service '" + name + "' failed:\r\nError# 1073 - " + kit::SystemErrorText(1073) + "\r\n");

    EXPECT_EQ(RunProduct({"-d", name, "Description " + kConversions}).output,
              "Update Description successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name).description, "Description " + kConversions);
    EXPECT_EQ(RunProduct({"-ds", name, kConversions}).output, "");

    const struct {
        const char* option;
        const char* valueName;
        std::string value;
    } parameters[] = {
        {"-l", "PBLibList", "C:\\" + kConversions + ".pbd;" + kConversions},
        {"-a", "PBAppName", kConversions},
        {"-o", "PBObjName", "n_" + kConversions},
        {"-v", "PBVMName", "%s%n%x%p.dll"},  // the field holds 15 characters
    };
    for (const auto& p : parameters) {
        EXPECT_EQ(RunProduct({p.option, name, p.value}).output,
                  std::string("Update ") + p.valueName + " successful!\r\n");
        EXPECT_EQ(Stored(name, p.valueName), p.value) << p.valueName;
    }
    EXPECT_EQ(RunProduct({"-reg", name, "Value " + kConversions, kConversions}).output,
              "Update Value " + kConversions + " successful!\r\n");
    EXPECT_EQ(Stored(name, "Value " + kConversions), kConversions);

    // Wine takes any account; Windows refuses one that does not exist, naming the service.
    const kit::RunResult credentials = RunProduct({"-c", name, kConversions, kConversions, kConversions});
    if (kit::RunningUnderWine()) {
        EXPECT_EQ(credentials.output, "Update Credentials successful!\r\n");
        EXPECT_EQ(kit::ReadServiceConfig(name).account, kConversions + "\\" + kConversions);
    } else {
        const std::string lead = "Update Credentials for '" + name + "' failed:\r\n";
        EXPECT_EQ(credentials.output.substr(0, lead.size()), lead);
    }

    // A value too long for its field is named by its field, never shown.
    std::string overLong;
    while (overLong.size() < 50) overLong += kConversions;
    EXPECT_EQ(RunProduct({"-a", name, overLong}).output,
              "The value for PBAppName is too long (at most 49 characters)!\r\n");

    EXPECT_EQ(RunProduct({"-u", name}).output, "Uninstall service '" + name + "' successful!\r\n");
    EXPECT_EQ(RunProduct({"-u", name}).output,
              "Uninstall service '" + name + "' failed - service does not exist!\r\n");
    EXPECT_EQ(RunProduct({"-i", kConversions + ".ini"}).output, "The .ini file was not found!\r\n");
    EXPECT_EQ(RunProduct({kConversions, name}).output, kit::UsageText());
}

TEST(FormatText, RefusedServiceControlNamesTheServiceLiterally) {
    kit::ServiceCleanup service(kit::UniqueName("Pb" + kConversions));
    ASSERT_TRUE(kit::CreateTestService(service.name(), "C:\\pbvm_no_such_folder\\none.exe"));
    EXPECT_EQ(RunProduct({"-start", service.name()}).output,
              "Service command for '" + service.name() + "' failed:\r\nError# 2 - " +
                  kit::SystemErrorText(2) + "\r\n");
    EXPECT_EQ(RunProduct({"-stop", service.name()}).output,
              "Service command failed - service is not running!\r\n");
}

TEST(FormatText, SystemTextWithInsertsIsNeverFilledFromMemory) {
    // Error 193 reads "%1 is not a valid Win32 application."  Looked up without
    // arguments, the insert cannot be filled: the lookup fails, and the message ends
    // after the dash rather than showing whatever memory an argument would have come from.
    kit::ServiceCleanup service(kit::UniqueName("PbvmSecText"));
    ASSERT_TRUE(kit::CreateTestService(service.name(), "C:\\windows\\win.ini"));
    const std::string output = RunProduct({"-start", service.name()}).output;
    EXPECT_EQ(output, "Service command for '" + service.name() + "' failed:\r\nError# 193 - " +
                          kit::SystemErrorText(193) + "\r\n");
    if (kit::RunningUnderWine()) {
        EXPECT_EQ(kit::SystemErrorText(193), "");
    }
}

TEST(FormatText, IniInstallationPrintsAndStoresItsValuesLiterally) {
    kit::TempDir dir("pbvmsec");
    kit::ServiceCleanup service(kit::UniqueName("Pb" + kConversions));
    const std::string& name = service.name();
    ASSERT_TRUE(kit::WriteWholeFile(dir / "install.ini",
                                    "[Install]\r\nServiceName=" + name + "\r\nDisplayName=" + kConversions +
                                        "\r\nDescription=" + kConversions + "\r\nPBAppName=" + kConversions +
                                        "\r\nPBLibList=" + kConversions + ";" + kConversions +
                                        "\r\nPBObjName=" + kConversions + "\r\nPBVMName=" + kConversions +
                                        "\r\n"));
    EXPECT_EQ(RunProduct({"-i", "install.ini"}, dir.path()).output,
              "Install service '" + name + "' successful!\r\n"
              "Update Description successful!\r\n"
              "Update PBAppName successful!\r\n"
              "Update PBLibList successful!\r\n"
              "Update PBObjName successful!\r\n"
              "Update PBVMName successful!\r\n");
    const kit::ServiceConfig config = kit::ReadServiceConfig(name);
    EXPECT_EQ(config.displayName, kConversions);
    EXPECT_EQ(config.description, kConversions);
    EXPECT_EQ(Stored(name, "PBAppName"), kConversions);
    EXPECT_EQ(Stored(name, "PBLibList"), kConversions + ";" + kConversions);
    EXPECT_EQ(Stored(name, "PBObjName"), kConversions);
    EXPECT_EQ(Stored(name, "PBVMName"), kConversions);
}

TEST(FormatText, ServiceLogEventsAndStartupCallCarryNamesLiterally) {
    // The folder, and so every library name and the log file's path, holds the
    // conversions as well as the service name.
    runtime_test::HostedService service("Pb" + kConversions);
    runtime_test::HostedClass hosted;
    hosted.run = "returns 0";  // the service stops itself after one call
    service.Install(hosted);
    EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");

    EXPECT_EQ(service.Log(), "LibList: From Registry\r\n"
                             "Library Count: 2\r\n" +
                                 service.folder() + "\\app.pbl\r\n" + service.folder() +
                                 "\\common.pbd\r\n"
                                 "Before CreateSession\r\n"
                                 "After CreateSession\r\n"
                                 "PBNI Interface Initialized\r\n");
    EXPECT_EQ(service.Events(3), (std::vector<std::string>{"4:40000001:PBNI Interface Initialized",
                                                            "4:40000001:Service started",
                                                            "4:40000001:Service stopped"}));
    const auto starts = service.Calls("InvokeBegin", "of_startup");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].Field(4), service.name());
}

}  // namespace
