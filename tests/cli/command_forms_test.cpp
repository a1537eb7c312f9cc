// The table of command-line forms: which arguments select which command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_forms.h"
#include "common/service_settings.h"

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
        {{"-status", "s"}, Command::ShowStatus},
        {{"-r", "s"}, Command::ServiceMode},
        {{"-im", "s", "d"}, Command::InstallManual},
        {{"-ia", "s", "d"}, Command::InstallAuto},
        {{"-d", "s", "d"}, Command::UpdateDescription},
        {{"-ds", "s", "true"}, Command::UpdateDelayedStart},
        {{"-dep", "s", "a/b"}, Command::UpdateDependencies},
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
    EXPECT_EQ(Find({"-status", "s", "extra"}), nullptr);
    EXPECT_EQ(Find({"-dep", "s"}), nullptr);
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

}  // namespace
