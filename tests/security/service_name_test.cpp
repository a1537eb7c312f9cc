// The service name becomes part of registry key paths, so the names that would lead
// elsewhere are refused before anything is done.  An empty name would name the key that
// holds all services (and, for the event source, the key that holds all sources), and a
// command would write values into that shared key.  A name with a backslash would lead
// into a subkey of another key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"
#include "security/registry_snapshot.h"

namespace {

using security_test::DumpValues;

const char* const kServices = "SYSTEM\\CurrentControlSet\\Services";
const char* const kApplicationLog = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

TEST(EmptyServiceName, NoCommandWritesAnyValueIntoTheSharedKeys) {
    // Windows always has the key of all sources; a fresh Wine prefix makes it only for the
    // first source registered, which need not have happened yet.
    ASSERT_TRUE(kit::CreateRegKey(kApplicationLog));
    const std::string servicesBefore = DumpValues(kServices);
    const std::string sourcesBefore = DumpValues(kApplicationLog);
    const std::string probe = kit::UniqueName("PbvmSecProbe");

    const std::vector<std::vector<std::string>> lines = {
        {"-im", "", "d"}, {"-ia", "", "d"}, {"-e", ""}, {"-l", "", "x"}, {"-a", "", "x"},
        {"-o", "", "x"}, {"-v", "", "x"}, {"-reg", "", probe, "x"}, {"-d", "", "d"},
        {"-ds", "", "true"}, {"-c", "", "d", "u", "p"}, {"-u", ""}, {"-r", ""},
        {"-start", ""}, {"-stop", ""}, {"-pause", ""}, {"-resume", ""},
    };
    for (const auto& args : lines) {
        const kit::RunResult r = kit::RunProduct(args);
        EXPECT_EQ(r.exitCode, 0u) << args[0];
        EXPECT_EQ(r.output, "The service name must not be empty!\r\n") << args[0];
    }
    EXPECT_EQ(DumpValues(kServices), servicesBefore);
    EXPECT_EQ(DumpValues(kApplicationLog), sourcesBefore);
    EXPECT_FALSE(kit::ReadRegValue(kServices, probe).exists);
    EXPECT_TRUE(kit::RegKeyExists(kApplicationLog));
}

TEST(EmptyServiceName, IniFileWithAnEmptyOrBlankNameInstallsNothing) {
    kit::TempDir dir("pbvmsec");
    const std::string servicesBefore = DumpValues(kServices);
    const std::string sourcesBefore = DumpValues(kApplicationLog);
    // The profile reader trims blanks, so a name of blanks is empty too.
    for (const std::string& name : {std::string(""), std::string("   "), std::string("\t")}) {
        ASSERT_TRUE(kit::WriteWholeFile(dir / "install.ini",
                                        "[Install]\r\nServiceName=" + name +
                                            "\r\nDisplayName=x\r\nPBAppName=app\r\nPBVMName=x.dll\r\n"));
        EXPECT_EQ(kit::RunProduct({"-i", "install.ini"}, dir.path()).output,
                  "The required value ServiceName was not found!\r\n");
    }
    EXPECT_EQ(DumpValues(kServices), servicesBefore);
    EXPECT_EQ(DumpValues(kApplicationLog), sourcesBefore);
}

TEST(BackslashInServiceName, IsRefusedAndReachesNoSubkeyOfAnotherKey) {
    kit::ServiceCleanup service(kit::UniqueName("PbvmSecSub"));
    const std::string& name = service.name();
    ASSERT_TRUE(kit::CreateTestService(name, "C:\\windows\\notepad.exe"));
    const std::string parameters = kit::ServiceKey(name) + "\\Parameters";
    ASSERT_TRUE(kit::CreateRegKey(parameters));

    const std::vector<std::vector<std::string>> lines = {
        {"-reg", name + "\\Parameters", "Probe", "x"}, {"-a", name + "\\Parameters", "x"},
        {"-e", name + "\\Sub"}, {"-im", name + "\\Sub", "x"}, {"-u", name + "\\Parameters"},
    };
    for (const auto& args : lines) {
        EXPECT_EQ(kit::RunProduct(args).output, "The service name must not contain a backslash!\r\n") << args[0];
    }
    EXPECT_EQ(DumpValues(parameters), "");
    EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(name)));

    // The INI installation hands the name to the Service Control Manager first, which
    // refuses it; nothing is written after a refused creation.
    kit::TempDir dir("pbvmsec");
    ASSERT_TRUE(kit::WriteWholeFile(dir / "install.ini", "[Install]\r\nServiceName=" + name +
                                                             "\\Parameters\r\nDisplayName=x\r\nPBAppName=app\r\n"));
    EXPECT_EQ(kit::RunProduct({"-i", "install.ini"}, dir.path()).output,
              "Install service '" + name + "\\Parameters' failed:\r\nError# 123 - " + kit::SystemErrorText(123) +
                  "\r\n");
    EXPECT_EQ(DumpValues(parameters), "");
    kit::DeleteRegTree(parameters);
}

}  // namespace
