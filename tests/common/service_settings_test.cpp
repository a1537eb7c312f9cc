// The settings record: its fields, their capacities, its initial state and the copy
// that never overruns a field.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/service_settings.h"

namespace {

TEST(Settings, FieldsAreDescribedWithTheirNameAndCapacity) {
    struct Expected {
        Field field;
        const char* name;
        size_t capacity;
    } expected[] = {
        {Field::ServiceName, "ServiceName", 260}, {Field::DisplayName, "DisplayName", 260},
        {Field::Description, "Description", 1028}, {Field::Domain, "Domain", 264},
        {Field::Userid, "Userid", 260},           {Field::Password, "Password", 260},
        {Field::PBLibList, "PBLibList", 2048},    {Field::PBAppName, "PBAppName", 50},
        {Field::PBObjName, "PBObjName", 50},      {Field::PBVMName, "PBVMName", 16},
        {Field::PBRuntimeDir, "PBRuntimeDir", 260},
        {Field::PBWorkDir, "PBWorkDir", 260},
    };
    for (const Expected& e : expected) {
        const FieldInfo info = DescribeField(e.field);
        EXPECT_STREQ(info.name, e.name);
        EXPECT_EQ(info.capacity, e.capacity) << e.name;
        EXPECT_NE(info.storage, nullptr);
    }
    EXPECT_EQ(DescribeField(Field::None).storage, nullptr);
}

TEST(Settings, ProcessStartStateAndClearing) {
    ResetServiceSettings();
    EXPECT_STREQ(ServiceSettings.Description, kDefaultDescription);
    // There is no 64-bit PowerBuilder 9: the 64-bit build names the VM of the later releases.
    EXPECT_STREQ(ServiceSettings.PBVMName, sizeof(void*) == 8 ? "pbvm.dll" : "pbvm90.dll");
    EXPECT_STREQ(ServiceSettings.ServiceName, "");
    EXPECT_STREQ(ServiceSettings.EventLog, "");
    EXPECT_STREQ(ServiceSettings.LogFileName, "");

    std::memset(ServiceSettings.PBAppName, 'x', sizeof ServiceSettings.PBAppName);
    std::memset(ServiceSettings.LibListWork, 'x', sizeof ServiceSettings.LibListWork);
    CopyToField(ServiceSettings.DisplayName, "kept");
    ClearRunFields();
    for (char c : ServiceSettings.PBAppName) ASSERT_EQ(c, '\0');
    for (char c : ServiceSettings.LibListWork) ASSERT_EQ(c, '\0');
    EXPECT_STREQ(ServiceSettings.DisplayName, "kept");
}

TEST(Settings, CopyFitsCapacityLessOneAndRefusesCapacity) {
    char field[16];
    std::memset(field, '#', sizeof field);
    EXPECT_TRUE(CopyToField(field, std::string(15, 'a').c_str()));
    EXPECT_EQ(std::string(field), std::string(15, 'a'));
    EXPECT_FALSE(CopyToField(field, std::string(16, 'b').c_str()));
    EXPECT_EQ(std::string(field), std::string(15, 'a'));  // unchanged
    EXPECT_TRUE(CopyToField(field, ""));
    EXPECT_STREQ(field, "");
}

}  // namespace
