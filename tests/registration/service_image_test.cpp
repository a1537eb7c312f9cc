// Composing the image command line, the account name, the start type and INI paths.
#include <gtest/gtest.h>

#include "registration/service_image.h"

namespace {

TEST(ImageCommandLine, QuotedExactlyWhereTheCRuntimeWouldSplit) {
    EXPECT_EQ(BuildImageCommandLine("C:\\svc\\pbvmsvc.exe", "Payroll"),
              "C:\\svc\\pbvmsvc.exe -r Payroll");
    EXPECT_EQ(BuildImageCommandLine("C:\\Program Files\\x\\pbvmsvc.exe", "Payroll"),
              "\"C:\\Program Files\\x\\pbvmsvc.exe\" -r Payroll");
    EXPECT_EQ(BuildImageCommandLine("C:\\Program Files\\x\\pbvmsvc.exe", "My Service"),
              "\"C:\\Program Files\\x\\pbvmsvc.exe\" -r \"My Service\"");
    EXPECT_EQ(BuildImageCommandLine("C:\\svc\\pbvmsvc.exe", "My Service"),
              "C:\\svc\\pbvmsvc.exe -r \"My Service\"");
    // A tab in a name separates arguments as a blank does (found by the fuzzer); a file
    // name holds no tab, so for the path only the blank decides.
    EXPECT_EQ(BuildImageCommandLine("C:\\svc\\pbvmsvc.exe", "Pay\troll"),
              "C:\\svc\\pbvmsvc.exe -r \"Pay\troll\"");
    EXPECT_EQ(BuildImageCommandLine("C:\\a\tb\\p.exe", "s"), "C:\\a\tb\\p.exe -r s");
    // A quote in a name is escaped inside the quoted name.
    EXPECT_EQ(BuildImageCommandLine("C:\\svc\\pbvmsvc.exe", "Pay\"roll"),
              "C:\\svc\\pbvmsvc.exe -r \"Pay\\\"roll\"");
}

TEST(ImageCommandLine, LongInputsAreComposedWhole) {
    const std::string path = "C:\\" + std::string(255, 'p');
    const std::string name(259, 'n');
    const std::string line = BuildImageCommandLine(path, name);
    EXPECT_EQ(line.size(), path.size() + 4 + name.size());
    EXPECT_EQ(line.substr(line.size() - name.size()), name);
}

TEST(AccountName, DomainBackslashUserWithNoSpecialCases) {
    EXPECT_EQ(BuildAccountName("CORP", "svcuser"), "CORP\\svcuser");
    EXPECT_EQ(BuildAccountName(".", "local"), ".\\local");
    EXPECT_EQ(BuildAccountName("", "user"), "\\user");
    EXPECT_EQ(BuildAccountName("CORP", ""), "CORP\\");
    EXPECT_EQ(BuildAccountName(std::string(263, 'd'), std::string(259, 'u')).size(), 523u);
}

TEST(Startup, ExactWordsChooseTheStartType) {
    struct Case {
        const char* value;
        unsigned long type;
        bool delayed;
    } cases[] = {{"auto", 2, false},   {"Auto", 2, false},    {"delayed", 2, true},
                 {"Delayed", 2, true}, {"AUTO", 3, false},    {"DELAYED", 3, false},
                 {"manual", 3, false}, {"", 3, false},        {"auto ", 3, false},
                 {"demand", 3, false}};
    for (const Case& c : cases) {
        const StartupChoice choice = ParseStartup(c.value);
        EXPECT_EQ(choice.startType, c.type) << c.value;
        EXPECT_EQ(choice.delayed, c.delayed) << c.value;
    }
}

TEST(IniPath, AbsoluteFormsAreRecognised) {
    for (const char* absolute : {"C:\\x.ini", "z:\\a\\b.ini", "\\\\server\\share\\x.ini"}) {
        EXPECT_TRUE(IsAbsoluteWindowsPath(absolute)) << absolute;
    }
    for (const char* relative : {"x.ini", "sub\\x.ini", "C:x.ini", "\\x.ini", "1:\\x.ini", "", "C:"}) {
        EXPECT_FALSE(IsAbsoluteWindowsPath(relative)) << relative;
    }
}

}  // namespace
