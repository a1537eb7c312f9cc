// Changing the description, the delayed start flag and the logon account.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "kit/product.h"
#include "kit/services.h"

namespace {

using kit::RunProduct;

class ConfigUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunProduct({"-ia", name(), name()}).output,
                  "Install service '" + name() + "' successful!\r\n");
    }
    const std::string& name() { return service_.name(); }
    kit::ServiceCleanup service_{kit::UniqueName("PbvmConfig")};
};

TEST_F(ConfigUpdate, DescriptionIsReplaced) {
    const kit::RunResult r = RunProduct({"-d", name(), "Nightly payroll run, 100% \"quoted\""});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "Update Description successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name()).description, "Nightly payroll run, 100% \"quoted\"");
}

TEST_F(ConfigUpdate, DelayedStartAcceptsFourWordsAndIgnoresEveryOther) {
    for (const char* ignored : {"TRUE", "FALSE", "yes", "1", "", "true "}) {
        const kit::RunResult r = RunProduct({"-ds", name(), ignored});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "") << '"' << ignored << '"';
    }
    for (const char* word : {"true", "True", "false", "False"}) {
        const kit::RunResult r = RunProduct({"-ds", name(), word});
        if (kit::RunningUnderWine()) {
            // Wine has no delayed automatic start: the request is made all the same and
            // the manager's refusal is printed as it comes.
            EXPECT_EQ(r.output, "Update Delayed Start for '" + name() + "' failed:\r\nError# 87 - " +
                                    kit::SystemErrorText(87) + "\r\n");
        } else {
            EXPECT_EQ(r.output, "Update Delayed Start successful!\r\n");
            const kit::ServiceConfig c = kit::ReadServiceConfig(name());
            EXPECT_EQ(c.delayed, word[0] == 't' || word[0] == 'T');
        }
    }
}

TEST_F(ConfigUpdate, CredentialsSetTheAccountAsDomainBackslashUser) {
    // Wine stores the account without checking it; Windows would refuse an account that
    // does not exist, so there these cases print the manager's error instead.
    if (!kit::RunningUnderWine()) GTEST_SKIP() << "needs real accounts on Windows";
    EXPECT_EQ(RunProduct({"-c", name(), ".", "localuser", "secret"}).output,
              "Update Credentials successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name()).account, ".\\localuser");
    EXPECT_EQ(RunProduct({"-c", name(), "", "user", ""}).output, "Update Credentials successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name()).account, "\\user");
    EXPECT_EQ(RunProduct({"-c", name(), "CORP", "svc", "pw"}).output,
              "Update Credentials successful!\r\n");
    const kit::ServiceConfig c = kit::ReadServiceConfig(name());
    EXPECT_EQ(c.account, "CORP\\svc");
    EXPECT_EQ(c.startType, static_cast<unsigned long>(SERVICE_AUTO_START)) << "nothing else changes";
    EXPECT_EQ(c.displayName, name());
    EXPECT_EQ(c.imagePath, kit::ProductPath() + " -r " + name());
}

TEST_F(ConfigUpdate, DependenciesAreSetShownReducedAndCleared) {
    kit::ServiceCleanup a(kit::UniqueName("PbvmDepA")), b(kit::UniqueName("PbvmDepB"));
    ASSERT_TRUE(kit::CreateTestService(a.name(), "C:\\windows\\notepad.exe"));
    ASSERT_TRUE(kit::CreateTestService(b.name(), "C:\\windows\\notepad.exe"));
    const std::string cases[][2] = {{"/" + a.name() + "//" + b.name() + "/", a.name() + "/" + b.name()},
                                    {b.name(), b.name()},
                                    {"/", "(none)"}};
    for (const auto& c : cases) {
        EXPECT_EQ(RunProduct({"-dep", name(), c[0]}).output, "Update Dependencies successful!\r\n");
        EXPECT_EQ(kit::StatusValue(name(), "Dependencies"), c[1]) << c[0];
    }
}

TEST(ConfigUpdateUnknown, EveryUpdateOfAMissingServiceSaysOpenServiceFailed) {
    const std::string name = kit::UniqueName("PbvmNoSuch");
    EXPECT_EQ(RunProduct({"-d", name, "x"}).output, "OpenService failed!\r\n");
    EXPECT_EQ(RunProduct({"-ds", name, "true"}).output, "OpenService failed!\r\n");
    EXPECT_EQ(RunProduct({"-c", name, "d", "u", "p"}).output, "OpenService failed!\r\n");
    EXPECT_EQ(RunProduct({"-dep", name, "x"}).output, "OpenService failed!\r\n");
    EXPECT_FALSE(kit::ReadServiceConfig(name).exists);
}

}  // namespace

namespace {

TEST_F(ConfigUpdate, LongestValuesThatFitTheirFieldsArePassedWhole) {
    const std::string description(1027, 'd');
    EXPECT_EQ(RunProduct({"-d", name(), description}).output, "Update Description successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name()).description, description);

    if (!kit::RunningUnderWine()) return;  // Windows checks the account; Wine stores it
    const std::string domain(263, 'D'), user(259, 'u'), password(259, 'p');
    EXPECT_EQ(RunProduct({"-c", name(), domain, user, password}).output,
              "Update Credentials successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name()).account, domain + "\\" + user) << "no cut at 260";
}

}  // namespace
