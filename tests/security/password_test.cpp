// The logon password is handed to the Service Control Manager and to nothing else: no
// output line shows it, the product stores it in no registry value, and the service
// process neither logs nor reports it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"
#include "runtime/hosted_service.h"
#include "security/registry_snapshot.h"

namespace {

using kit::RunProduct;
using security_test::DumpKeyTree;

// Unique per test, so that a find cannot match a password another test left behind.
std::string NewPassword() { return kit::UniqueName("Pw-s3cret-"); }

// Everything under the service's key and its event source, where the product writes.
std::string ProductKeys(const std::string& service) {
    return DumpKeyTree(kit::ServiceKey(service)) + DumpKeyTree(kit::EventSourceKey(service));
}

TEST(Password, CredentialsCommandNeitherPrintsNorStoresIt) {
    kit::ServiceCleanup service(kit::UniqueName("PbvmPw"));
    const std::string& name = service.name();
    ASSERT_EQ(RunProduct({"-im", name, name}).output, "Install service '" + name + "' successful!\r\n");
    const std::string password = NewPassword();

    const kit::RunResult r = RunProduct({"-c", name, "PWDOM", "pwuser", password});
    EXPECT_EQ(r.output.find(password), std::string::npos) << r.output;
    if (kit::RunningUnderWine()) {  // Windows refuses an account that does not exist
        EXPECT_EQ(r.output, "Update Credentials successful!\r\n");
        EXPECT_EQ(kit::ReadServiceConfig(name).account, "PWDOM\\pwuser");
    }
    const std::string keys = ProductKeys(name);
    EXPECT_NE(keys.find("ImagePath"), std::string::npos) << "the dump reads the service key";
    EXPECT_EQ(keys.find(password), std::string::npos) << keys;

    EXPECT_EQ(RunProduct({"-c", name + "Missing", "PWDOM", "pwuser", password}).output,
              "OpenService failed!\r\n");
    const std::string overLong = password + std::string(260 - password.size(), 'x');
    EXPECT_EQ(RunProduct({"-c", name, "PWDOM", "pwuser", overLong}).output,
              "The value for Password is too long (at most 259 characters)!\r\n");
}

TEST(Password, IniInstallationNeitherPrintsNorStoresIt) {
    kit::TempDir dir("pbvmsec");
    kit::ServiceCleanup service(kit::UniqueName("PbvmPwIni"));
    const std::string& name = service.name();
    const std::string password = NewPassword();
    ASSERT_TRUE(kit::WriteWholeFile(dir / "install.ini",
                                    "[Install]\r\nServiceName=" + name + "\r\nDisplayName=" + name +
                                        "\r\nDomain=PWDOM\r\nUserid=pwuser\r\nPassword=" + password +
                                        "\r\nPBAppName=app\r\n"));
    const kit::RunResult r = RunProduct({"-i", "install.ini"}, dir.path());
    EXPECT_EQ(r.output.find(password), std::string::npos) << r.output;
    if (kit::RunningUnderWine()) {
        EXPECT_EQ(r.output, "Install service '" + name + "' successful!\r\nUpdate PBAppName successful!\r\n");
        EXPECT_EQ(kit::ReadServiceConfig(name).account, "PWDOM\\pwuser");
    }
    const std::string keys = ProductKeys(name);
    EXPECT_EQ(keys.find(password), std::string::npos) << keys;

    // The same file again: the creation fails, and its message names only the service.
    const kit::RunResult again = RunProduct({"-i", "install.ini"}, dir.path());
    EXPECT_EQ(again.output.find(password), std::string::npos) << again.output;
}

TEST(Password, OverLongPasswordInAnIniFileIsRefusedWithoutShowingIt) {
    kit::TempDir dir("pbvmsec");
    const std::string name = kit::UniqueName("PbvmPwLong");
    const std::string password = NewPassword() + std::string(300, 'x');
    ASSERT_TRUE(kit::WriteWholeFile(dir / "install.ini", "[Install]\r\nServiceName=" + name +
                                                             "\r\nDisplayName=x\r\nDomain=PWDOM\r\nPassword=" +
                                                             password + "\r\n"));
    EXPECT_EQ(RunProduct({"-i", "install.ini"}, dir.path()).output,
              "The value for Password is too long (at most 259 characters)!\r\n");
    EXPECT_FALSE(kit::ReadServiceConfig(name).exists);
    EXPECT_FALSE(kit::RegKeyExists(kit::ServiceKey(name)));
}

TEST(Password, ServiceProcessNeitherLogsNorReportsIt) {
    if (!kit::RunningUnderWine()) GTEST_SKIP() << "needs a real account and its password on Windows";
    runtime_test::HostedService service("PbvmPwRun");
    runtime_test::HostedClass hosted;
    hosted.run = "returns 0";
    service.Install(hosted);
    const std::string password = NewPassword();
    ASSERT_EQ(service.Run({"-c", service.name(), "PWDOM", "pwuser", password}),
              "Update Credentials successful!\r\n");

    EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");
    const std::vector<std::string> events = service.Events(3);
    ASSERT_EQ(events.size(), 3u);
    for (const std::string& event : events) EXPECT_EQ(event.find(password), std::string::npos) << event;
    const std::string log = service.Log();
    EXPECT_NE(log.find("After CreateSession\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(password), std::string::npos) << log;
    // Nor does the hosted application get it: the VM's journal records every argument.
    const std::string journal = kit::ReadWholeFile(service.JournalPath());
    EXPECT_NE(journal.find("InvokeBegin \"of_startup\""), std::string::npos);
    EXPECT_EQ(journal.find(password), std::string::npos);
    EXPECT_EQ(ProductKeys(service.name()).find(password), std::string::npos);
}

}  // namespace
