// Installing from the [Install] section of an INI file.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"

namespace {

using kit::RunProduct;

class IniInstall : public ::testing::Test {
protected:
    // Writes install.ini into the test's folder and runs "-i install.ini" there.
    kit::RunResult InstallWith(const std::string& section, const std::string& argument = "install.ini") {
        EXPECT_TRUE(kit::WriteWholeFile(dir_ / "install.ini", section));
        return RunProduct({"-i", argument}, dir_.path());
    }
    std::string Head() { return "[Install]\r\nServiceName=" + name() + "\r\nDisplayName=" + name() + " display\r\n"; }
    std::string Installed() { return "Install service '" + name() + "' successful!\r\n"; }
    std::string Param(const std::string& value) {
        return kit::StringData(kit::ReadRegValue(kit::ServiceKey(name()), value));
    }
    const std::string& name() { return service_.name(); }
    kit::TempDir dir_{"pbvmini"};
    kit::ServiceCleanup service_{kit::UniqueName("PbvmIni")};
};

TEST_F(IniInstall, FullFileInstallsConfiguresAndStoresEverythingInOrder) {
    kit::ServiceCleanup database(kit::UniqueName("PbvmDatabase"));
    ASSERT_TRUE(kit::CreateTestService(database.name(), "C:\\windows\\notepad.exe"));
    const kit::RunResult r = InstallWith(
        Head() + "Dependencies=" + database.name() + "/\r\n"
        "Startup=auto\r\nDescription=Payroll, nightly\r\nPBAppName=payroll\r\n"
        "PBLibList=C:\\app\\payroll.pbd;C:\\app\\common.pbd\r\nPBObjName=n_payroll_service\r\n"
        "PBVMName=pbvm.dll\r\nPBRuntimeDir=D:\\PB Runtime\\Runtime 22.2.0.3356\r\n"
        "PBWorkDir=D:\\Payroll Data\r\nStopTimeout=30\r\nRunTimeout=0600\r\nUnknownKey=ignored\r\n");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, Installed() +
                            "Update Description successful!\r\n"
                            "Update PBAppName successful!\r\n"
                            "Update PBLibList successful!\r\n"
                            "Update PBObjName successful!\r\n"
                            "Update PBVMName successful!\r\n"
                            "Update PBRuntimeDir successful!\r\n"
                            "Update PBWorkDir successful!\r\n"
                            "Update RunTimeout successful!\r\n"
                            "Update StopTimeout successful!\r\n"
                            "Update Dependencies successful!\r\n");
    EXPECT_EQ(kit::StatusValue(name(), "Dependencies"), database.name());
    const kit::ServiceConfig c = kit::ReadServiceConfig(name());
    EXPECT_EQ(c.startType, static_cast<unsigned long>(SERVICE_AUTO_START));
    EXPECT_EQ(c.displayName, name() + " display");
    EXPECT_EQ(c.description, "Payroll, nightly");
    EXPECT_EQ(c.account, "LocalSystem");
    EXPECT_EQ(Param("PBAppName"), "payroll");
    EXPECT_EQ(Param("PBLibList"), "C:\\app\\payroll.pbd;C:\\app\\common.pbd");
    EXPECT_EQ(Param("PBObjName"), "n_payroll_service");
    EXPECT_EQ(Param("PBVMName"), "pbvm.dll");
    EXPECT_EQ(Param("PBRuntimeDir"), "D:\\PB Runtime\\Runtime 22.2.0.3356");
    EXPECT_EQ(Param("PBWorkDir"), "D:\\Payroll Data");
    EXPECT_EQ(Param("RunTimeout"), "0600");
    EXPECT_EQ(Param("StopTimeout"), "30");
    EXPECT_FALSE(kit::ReadRegValue(kit::ServiceKey(name()), "UnknownKey").exists);
    EXPECT_TRUE(kit::RegKeyExists(kit::EventSourceKey(name())));
}

TEST_F(IniInstall, OnlyThePresentParametersAreWritten) {
    const kit::RunResult r = InstallWith(Head() + "PBObjName=n_svc\r\nPBAppName=\r\n");
    EXPECT_EQ(r.output, Installed() + "Update PBObjName successful!\r\n");
    for (const char* absent : {"PBVMName", "PBAppName", "PBRuntimeDir", "PBWorkDir"}) {
        EXPECT_FALSE(kit::ReadRegValue(kit::ServiceKey(name()), absent).exists) << absent;
    }
    EXPECT_EQ(kit::ReadServiceConfig(name()).description,
              "Runs a PowerBuilder application as a Windows service.");
}

TEST_F(IniInstall, StartupWords) {
    struct Case {
        const char* line;
        unsigned long startType;
        bool delayed;
    } cases[] = {{"Startup=auto\r\n", 2, false},   {"Startup=Auto\r\n", 2, false},
                 {"Startup=delayed\r\n", 2, true}, {"Startup=Delayed\r\n", 2, true},
                 {"Startup=AUTO\r\n", 3, false},   {"Startup=manual\r\n", 3, false},
                 {"Startup=\r\n", 3, false},       {"", 3, false}};
    for (const Case& c : cases) {
        kit::ServiceCleanup service(kit::UniqueName("PbvmStartup"));
        const kit::RunResult r = InstallWith("[Install]\r\nServiceName=" + service.name() +
                                             "\r\nDisplayName=" + service.name() + "\r\n" + c.line);
        std::string expected = "Install service '" + service.name() + "' successful!\r\n";
        if (c.delayed) {
            // Wine refuses the delayed flag (87); Windows accepts it.
            expected += kit::RunningUnderWine()
                            ? "Update Delayed Start for '" + service.name() +
                                  "' failed:\r\nError# 87 - " + kit::SystemErrorText(87) + "\r\n"
                            : std::string("Update Delayed Start successful!\r\n");
        }
        EXPECT_EQ(r.output, expected) << c.line;
        EXPECT_EQ(kit::ReadServiceConfig(service.name()).startType, c.startType) << c.line;
    }
}

TEST_F(IniInstall, AccountOnlyWithDomainAndPassword) {
    if (!kit::RunningUnderWine()) GTEST_SKIP() << "needs real accounts on Windows";
    struct Case {
        const char* lines;
        const char* account;
    } cases[] = {{"Domain=CORP\r\nUserid=svc\r\n", "LocalSystem"},
                 {"Userid=svc\r\nPassword=pw\r\n", "LocalSystem"},
                 {"Domain=CORP\r\nPassword=pw\r\n", "CORP\\"},
                 {"Domain=CORP\r\nUserid=svc\r\nPassword=pw\r\n", "CORP\\svc"},
                 {"Domain=.\r\nUserid=local\r\nPassword=pw\r\n", ".\\local"}};
    for (const Case& c : cases) {
        kit::ServiceCleanup service(kit::UniqueName("PbvmAccount"));
        const kit::RunResult r = InstallWith("[Install]\r\nServiceName=" + service.name() +
                                             "\r\nDisplayName=" + service.name() + "\r\n" + c.lines);
        EXPECT_EQ(r.output, "Install service '" + service.name() + "' successful!\r\n");
        EXPECT_EQ(kit::ReadServiceConfig(service.name()).account, c.account) << c.lines;
    }
}

TEST_F(IniInstall, FileIsFoundRelativeToTheCurrentDirectoryOrByAbsolutePath) {
    ASSERT_TRUE(kit::WriteWholeFile(dir_ / "install.ini", Head()));
    kit::TempDir elsewhere("pbvmother");
    EXPECT_EQ(RunProduct({"-i", "install.ini"}, elsewhere.path()).output,
              "The .ini file was not found!\r\n");
    EXPECT_FALSE(kit::ReadServiceConfig(name()).exists);

    EXPECT_EQ(RunProduct({"-i", dir_ / "install.ini"}, elsewhere.path()).output, Installed());
    EXPECT_TRUE(kit::ReadServiceConfig(name()).exists);
}

TEST_F(IniInstall, SecondRunChangesNothing) {
    ASSERT_EQ(InstallWith(Head() + "Description=first\r\nPBAppName=one\r\n").output,
              Installed() + "Update Description successful!\r\nUpdate PBAppName successful!\r\n");
    const kit::RunResult again = InstallWith(Head() + "Description=second\r\nPBAppName=two\r\n");
    EXPECT_EQ(again.output, "Install service '" + name() + "' failed:\r\nError# 1073 - " +
                                kit::SystemErrorText(1073) + "\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name()).description, "first");
    EXPECT_EQ(Param("PBAppName"), "one");
}

TEST_F(IniInstall, MissingFileSectionOrRequiredValues) {
    EXPECT_EQ(RunProduct({"-i", "absent.ini"}, dir_.path()).output, "The .ini file was not found!\r\n");
    EXPECT_EQ(InstallWith("ServiceName=" + name() + "\r\nDisplayName=x\r\n").output,
              "The .ini file was not found!\r\n");
    EXPECT_EQ(InstallWith("").output, "The .ini file was not found!\r\n");
    EXPECT_EQ(InstallWith("[Install]\r\nDisplayName=x\r\n").output,
              "The required value ServiceName was not found!\r\n");
    EXPECT_EQ(InstallWith("[Install]\r\nServiceName=\r\nDisplayName=x\r\n").output,
              "The required value ServiceName was not found!\r\n");
    EXPECT_EQ(InstallWith("[Other]\r\nServiceName=" + name() + "\r\nDisplayName=x\r\n").output,
              "The required value ServiceName was not found!\r\n");
    EXPECT_EQ(InstallWith("[Install]\r\nServiceName=" + name() + "\r\n").output,
              "The required value DisplayName was not found!\r\n");
    EXPECT_EQ(InstallWith("[install]\r\nservicename=" + name() + "\r\nDISPLAYNAME=\r\n").output,
              "The required value DisplayName was not found!\r\n");
    EXPECT_FALSE(kit::ReadServiceConfig(name()).exists);
}

TEST_F(IniInstall, OverLongOrInvalidValuesInstallNothing) {
    struct Case {
        std::string lines;
        std::string message;
    } cases[] = {
        {"PBAppName=" + std::string(50, 'a') + "\r\n",
         "The value for PBAppName is too long (at most 49 characters)!\r\n"},
        {"PBVMName=" + std::string(16, 'v') + "\r\n",
         "The value for PBVMName is too long (at most 15 characters)!\r\n"},
        {"PBRuntimeDir=" + std::string(260, 'r') + "\r\n",
         "The value for PBRuntimeDir is too long (at most 259 characters)!\r\n"},
        {"PBWorkDir=" + std::string(260, 'w') + "\r\n",
         "The value for PBWorkDir is too long (at most 259 characters)!\r\n"},
        {"PBLibList=" + std::string(2048, 'l') + "\r\n",
         "The value for PBLibList is too long (at most 2047 characters)!\r\n"},
        {"PBLibList=" + std::string(5000, 'l') + "\r\n",
         "The value for PBLibList is too long (at most 2047 characters)!\r\n"},
        {"Description=" + std::string(1028, 'd') + "\r\n",
         "The value for Description is too long (at most 1027 characters)!\r\n"},
        {"Domain=CORP\r\nPassword=" + std::string(260, 'p') + "\r\n",
         "The value for Password is too long (at most 259 characters)!\r\n"},
        {"RunTimeout=604801\r\n", "The value for RunTimeout is not a whole number of seconds from 0 to 604800!\r\n"},
        {"StopTimeout=10s\r\n", "The value for StopTimeout is not a whole number of seconds from 0 to 604800!\r\n"},
        {"RunTimeout=-1\r\n", "The value for RunTimeout is not a whole number of seconds from 0 to 604800!\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InstallWith(Head() + c.lines).output, c.message);
        EXPECT_FALSE(kit::ReadServiceConfig(name()).exists);
        EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(name())));
    }
    // Capacity less one still fits.
    EXPECT_EQ(InstallWith(Head() + "PBAppName=" + std::string(49, 'a') + "\r\n").output,
              Installed() + "Update PBAppName successful!\r\n");
    EXPECT_EQ(Param("PBAppName"), std::string(49, 'a'));
}

TEST_F(IniInstall, OverLongServiceNameIsRefused) {
    const kit::RunResult r =
        InstallWith("[Install]\r\nServiceName=" + std::string(260, 's') + "\r\nDisplayName=x\r\n");
    EXPECT_EQ(r.output, "The value for ServiceName is too long (at most 259 characters)!\r\n");
}

}  // namespace
