// The service's parameters as registry values: what the commands store, and what
// GetRegString gives back, checked against the real registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "common/service_settings.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"
#include "registration/param_store.h"

namespace {

using kit::RunProduct;

class ParamStore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kit::CreateTestService(service_.name(), "C:\\windows\\notepad.exe"));
        ResetServiceSettings();
        CopyToField(ServiceSettings.ServiceName, service_.name().c_str());
    }
    kit::RegValue Value(const std::string& name) {
        return kit::ReadRegValue(kit::ServiceKey(service_.name()), name);
    }
    void Store(const std::string& name, unsigned long type, const std::string& data) {
        ASSERT_TRUE(kit::WriteRegValue(kit::ServiceKey(service_.name()), name, type, data));
    }
    kit::ServiceCleanup service_{kit::UniqueName("PbvmParams")};
};

TEST_F(ParamStore, EachFormStoresItsValueAsRegSzWithoutTerminator) {
    struct Case {
        const char* option;
        const char* valueName;
        const char* text;
    } cases[] = {{"-l", "PBLibList", "C:\\app\\a.pbd;C:\\app\\b.pbd"},
                 {"-a", "PBAppName", "payroll"},
                 {"-o", "PBObjName", "n_service"},
                 {"-v", "PBVMName", "pbvm90.dll"}};
    for (const Case& c : cases) {
        const kit::RunResult r = RunProduct({c.option, service_.name(), c.text});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, std::string("Update ") + c.valueName + " successful!\r\n");
        const kit::RegValue v = Value(c.valueName);
        ASSERT_TRUE(v.exists) << c.valueName;
        EXPECT_EQ(v.type, static_cast<unsigned long>(REG_SZ));
        EXPECT_EQ(kit::StringData(v), c.text);
        // Stored without terminator: Windows gives back strlen bytes, Wine strlen + 1.
        EXPECT_TRUE(v.data.size() == std::strlen(c.text) || v.data.size() == std::strlen(c.text) + 1);
    }
}

TEST_F(ParamStore, RegStoresAnyNameAndPrintsTheNameNotTheValue) {
    kit::RunResult r = RunProduct({"-reg", service_.name(), "LogFileName", "C:\\logs\\svc.log"});
    EXPECT_EQ(r.output, "Update LogFileName successful!\r\n");
    EXPECT_EQ(kit::StringData(Value("LogFileName")), "C:\\logs\\svc.log");

    // Even a value the Service Control Manager keeps there itself is not refused.
    r = RunProduct({"-reg", service_.name(), "DisplayName", "Renamed by reg"});
    EXPECT_EQ(r.output, "Update DisplayName successful!\r\n");
    EXPECT_EQ(kit::StringData(Value("DisplayName")), "Renamed by reg");

    r = RunProduct({"-reg", service_.name(), "Some Name With Blanks", "v"});
    EXPECT_EQ(r.output, "Update Some Name With Blanks successful!\r\n");
}

TEST_F(ParamStore, EmptyValueIsStoredWithNoDataAndReadsAsMissing) {
    const kit::RunResult r = RunProduct({"-a", service_.name(), ""});
    EXPECT_EQ(r.output, "Update PBAppName successful!\r\n");
    const kit::RegValue v = Value("PBAppName");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(v.type, static_cast<unsigned long>(REG_SZ));
    EXPECT_EQ(v.data, "");
    EXPECT_EQ(GetRegString("PBAppName", 50, ServiceSettings.PBAppName), 0u);
}

TEST_F(ParamStore, OverwriteKeepsTheSecondTextAndMakesTheTypeRegSz) {
    Store("PBObjName", REG_DWORD, std::string("\x01\x02\x03\x04", 4));
    RunProduct({"-o", service_.name(), "first"});
    RunProduct({"-o", service_.name(), "second"});
    const kit::RegValue v = Value("PBObjName");
    EXPECT_EQ(v.type, static_cast<unsigned long>(REG_SZ));
    EXPECT_EQ(kit::StringData(v), "second");
}

TEST(ParamStoreWithoutService, WritesRefusedWithOneLineAndNothingCreated) {
    const std::string name = kit::UniqueName("PbvmMissing");
    for (const char* option : {"-a", "-l", "-o", "-v"}) {
        const kit::RunResult r = RunProduct({option, name, "x"});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "Open registry key failed!\r\n");
    }
    EXPECT_EQ(RunProduct({"-reg", name, "N", "V"}).output, "Open registry key failed!\r\n");
    EXPECT_FALSE(kit::RegKeyExists(kit::ServiceKey(name)));

    ResetServiceSettings();
    CopyToField(ServiceSettings.ServiceName, name.c_str());
    EXPECT_EQ(GetRegString("PBLibList", 2048, ServiceSettings.PBLibList), 0u);
}

TEST_F(ParamStore, ReadFitsOnlyWhenATerminatorStillFitsTheField) {
    char field[50] = {0};
    Store("PBAppName", REG_SZ, std::string(49, 'a'));
    const unsigned long got = GetRegString("PBAppName", sizeof field, field);
    EXPECT_TRUE(got == 49 || got == 50) << got;  // Windows: 49; Wine appends a zero: 50
    EXPECT_EQ(std::string(field), std::string(49, 'a'));

    std::memset(field, 0, sizeof field);
    Store("PBAppName", REG_SZ, std::string(50, 'b'));
    EXPECT_EQ(GetRegString("PBAppName", sizeof field, field), 0u);
    EXPECT_EQ(std::string(field), "") << "a refused read leaves the field empty";

    // Stored with its terminator, 49 characters and the zero fill the field exactly.
    Store("PBAppName", REG_SZ, std::string(49, 'c') + '\0');
    EXPECT_EQ(GetRegString("PBAppName", sizeof field, field), 50u);
    EXPECT_EQ(std::string(field), std::string(49, 'c'));

    std::memset(field, 0, sizeof field);
    EXPECT_EQ(GetRegString("NoSuchValue", sizeof field, field), 0u);
}

TEST_F(ParamStore, ReadTakesTheBytesWhateverTheType) {
    char field[260] = {0};
    Store("LogFileName", REG_EXPAND_SZ, std::string("%SystemRoot%\\x.log") + '\0');
    EXPECT_EQ(GetRegString("LogFileName", sizeof field, field), 19u);
    EXPECT_STREQ(field, "%SystemRoot%\\x.log") << "not expanded";

    std::memset(field, 0, sizeof field);
    Store("EventLog", REG_DWORD, std::string("\x74\x72\x75\x65", 4));  // "true" as a number
    EXPECT_EQ(GetRegString("EventLog", sizeof field, field), 4u);
    EXPECT_STREQ(field, "true");
}

}  // namespace
