// The table of command-line forms: which arguments select which command.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/command_forms.h"
#include "cli/settings.h"

namespace {

const CommandForm* Find(std::vector<std::string> args) {
    std::vector<const char*> argv;
    argv.push_back("pbvmsvc.exe");
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    return FindCommandForm(static_cast<int>(argv.size() - 1), argv.data());
}

struct Row {
    std::vector<std::string> args;
    Command command;
};

TEST(CommandForms, EveryFormIsFoundWithItsOwnCount) {
    const Row rows[] = {
        {{"-u", "s"}, Command::Uninstall},
        {{"-e", "s"}, Command::AddEventSource},
        {{"-i", "f.ini"}, Command::InstallFromIni},
        {{"-start", "s"}, Command::Start},
        {{"-stop", "s"}, Command::Stop},
        {{"-pause", "s"}, Command::Pause},
        {{"-resume", "s"}, Command::Resume},
        {{"-r", "s"}, Command::ServiceMode},
        {{"-im", "s", "d"}, Command::InstallManual},
        {{"-ia", "s", "d"}, Command::InstallAuto},
        {{"-d", "s", "d"}, Command::UpdateDescription},
        {{"-ds", "s", "true"}, Command::UpdateDelayedStart},
        {{"-l", "s", "a;b"}, Command::SetLibList},
        {{"-a", "s", "app"}, Command::SetAppName},
        {{"-o", "s", "obj"}, Command::SetObjName},
        {{"-v", "s", "vm.dll"}, Command::SetVmName},
        {{"-reg", "s", "n", "v"}, Command::SetRegValue},
        {{"-c", "s", "dom", "user", "pw"}, Command::UpdateCredentials},
    };
    for (const Row& row : rows) {
        const CommandForm* form = Find(row.args);
        ASSERT_NE(form, nullptr) << row.args[0];
        EXPECT_EQ(form->command, row.command) << row.args[0];
        EXPECT_EQ(form->argumentCount, static_cast<int>(row.args.size()) + 1);
    }
}

TEST(CommandForms, ListedOptionWithAnotherOperandCountIsUnknown) {
    EXPECT_EQ(Find({"-start", "s", "extra"}), nullptr);
    EXPECT_EQ(Find({"-u"}), nullptr);
    EXPECT_EQ(Find({"-im", "s"}), nullptr);
    EXPECT_EQ(Find({"-reg", "s", "n"}), nullptr);
    EXPECT_EQ(Find({"-c", "s", "d", "u"}), nullptr);
    EXPECT_EQ(Find({"-l", "s", "a", "b"}), nullptr);
}

TEST(CommandForms, OptionsMatchExactlyAndCaseSensitively) {
    for (const char* near : {"-U", "/u", "-uninstall", "u", "--u", "-u ", " -u", "-", "", "-St",
                             "-START", "-Start", "-st", "-r\t"}) {
        EXPECT_EQ(Find({near, "s"}), nullptr) << '"' << near << '"';
    }
    EXPECT_EQ(Find({"-IM", "s", "d"}), nullptr);
    EXPECT_EQ(Find({"-Reg", "s", "n", "v"}), nullptr);
    EXPECT_EQ(Find({"-C", "s", "d", "u", "p"}), nullptr);
}

TEST(CommandForms, CountsOutsideThreeToSixAreUnknown) {
    const char* none[] = {"pbvmsvc.exe", nullptr};
    EXPECT_EQ(FindCommandForm(1, none), nullptr);
    EXPECT_EQ(FindCommandForm(0, none), nullptr);
    EXPECT_EQ(Find({"-u"}), nullptr);
    EXPECT_EQ(Find({"-c", "s", "d", "u", "p", "x"}), nullptr);
}

TEST(CommandForms, OperandsGoToTheirFieldsInOrder) {
    const CommandForm* credentials = Find({"-c", "s", "d", "u", "p"});
    ASSERT_NE(credentials, nullptr);
    EXPECT_EQ(credentials->operandFields[0], Field::ServiceName);
    EXPECT_EQ(credentials->operandFields[1], Field::Domain);
    EXPECT_EQ(credentials->operandFields[2], Field::Userid);
    EXPECT_EQ(credentials->operandFields[3], Field::Password);

    const CommandForm* reg = Find({"-reg", "s", "n", "v"});
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg->operandFields[1], Field::None);  // name and value are used as typed
    EXPECT_EQ(reg->operandFields[2], Field::None);

    const CommandForm* ini = Find({"-i", "f.ini"});
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(ini->operandFields[0], Field::None);  // the file name is an argument
}

TEST(CommandForms, FieldsAreDescribedWithTheirNameAndCapacity) {
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
    EXPECT_STREQ(ServiceSettings.PBVMName, "pbvm90.dll");
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
