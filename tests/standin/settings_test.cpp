#include "standin/settings.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

std::string problemsText(const Settings& s) {
    std::string out;
    for (const Problem& p : s.problems) out += std::to_string(p.line) + ": " + p.message + "\n";
    return out;
}

Settings one(const std::string& line) { return parseSettings("[standin]\n" + line + "\n"); }

TEST(Settings, DefaultsWhenEmpty) {
    Settings s = parseSettings("");
    EXPECT_EQ(s.getVm, Settings::GetVm::Ok);
    EXPECT_EQ(s.createSession, Outcome::returning(0));
    EXPECT_FALSE(s.createSessionNull);
    EXPECT_FALSE(s.findGroupNull);
    EXPECT_FALSE(s.findClassNull);
    EXPECT_EQ(s.journal, "");
    EXPECT_FALSE(s.journalInMemory);
    EXPECT_TRUE(s.problems.empty());
}

TEST(Settings, EveryKey) {
    Settings s = parseSettings(
        "; stand-in VM\r\n"
        "[standin]\r\n"
        "get_vm = error\r\n"
        "create_session = raise:0xE0001234\r\n"
        "find_group = null\r\n"
        "find_class = null\r\n"
        "journal = C:\\logs\\My Journal.txt\r\n"
        "journal_mode = Memory\r\n"
        "record_folder = yes\r\n");
    EXPECT_EQ(problemsText(s), "");
    EXPECT_TRUE(s.journalInMemory);
    EXPECT_TRUE(s.recordFolder);
    EXPECT_EQ(s.getVm, Settings::GetVm::Error);
    EXPECT_EQ(s.createSession, (Outcome{Outcome::Kind::Raise, 0, 0xE0001234UL}));
    EXPECT_TRUE(s.findGroupNull);
    EXPECT_TRUE(s.findClassNull);
    EXPECT_EQ(s.journal, "C:\\logs\\My Journal.txt");
}

TEST(Settings, GetVmValues) {
    EXPECT_EQ(one("get_vm=ok").getVm, Settings::GetVm::Ok);
    EXPECT_EQ(one("get_vm=null").getVm, Settings::GetVm::Null);
    EXPECT_EQ(one("get_vm=error").getVm, Settings::GetVm::Error);
}

TEST(Settings, CreateSessionValues) {
    EXPECT_EQ(one("create_session = ok").createSession, Outcome::returning(0));
    EXPECT_TRUE(one("create_session = null").createSessionNull);
    EXPECT_FALSE(one("create_session = fail").createSessionNull);
    EXPECT_EQ(one("create_session = fail").createSession, (Outcome{Outcome::Kind::Fail, -1, 0}));
    EXPECT_EQ(one("create_session = fail:5").createSession, (Outcome{Outcome::Kind::Fail, 5, 0}));
    EXPECT_EQ(one("create_session = raise").createSession,
              (Outcome{Outcome::Kind::Raise, 0, kDefaultRaiseCode}));
    EXPECT_EQ(one("create_session = access-violation").createSession,
              (Outcome{Outcome::Kind::AccessViolation, 0, kAccessViolationCode}));
    EXPECT_EQ(one("create_session = msvc-throw").createSession,
              (Outcome{Outcome::Kind::MsvcThrow, 0, kMsvcExceptionCode}));
    // A pending exception is something only a function call can end with.
    Settings exception = one("create_session = exception");
    EXPECT_EQ(problemsText(exception), "2: bad value 'exception' for create_session\n");
    EXPECT_EQ(exception.createSession, Outcome::returning(0));
}

TEST(Settings, NamesAndWordsIgnoreCaseButPathsKeepIt) {
    Settings s = parseSettings(
        "[ StandIn ]\n"
        "  Get_VM =  NULL  \n"
        "CREATE_SESSION=Raise:0xe0000001\n"
        "Journal = \"D:\\Some Where\\J.log\"\n");
    EXPECT_EQ(problemsText(s), "");
    EXPECT_EQ(s.getVm, Settings::GetVm::Null);
    EXPECT_EQ(s.createSession, (Outcome{Outcome::Kind::Raise, 0, 0xE0000001UL}));
    EXPECT_EQ(s.journal, "D:\\Some Where\\J.log");
}

TEST(Settings, ProblemsLeaveTheDefaults) {
    Settings s = parseSettings(
        "get_vm = null\n"              // 1: before any section
        "[other]\n"
        "find_group = null\n"          // 3: wrong section
        "[standin\n"                   // 4
        "[standin]\n"
        "find_class null\n"            // 6
        "colour = blue\n"              // 7
        "get_vm = maybe\n"             // 8
        "get_vm = null\n"              // 9: after a bad value the key is used up
        "create_session = fail:0\n"    // 10
        "create_session = ok\n"        // 11
        "find_group = yes\n"           // 12
        "journal =\n"                  // 13
        "journal = x\n"                // 14
        "journal_mode = later\n");     // 15
    EXPECT_EQ(problemsText(s),
              "1: key 'get_vm' is outside [standin]\n"
              "3: key 'find_group' is outside [standin]\n"
              "4: bad section line\n"
              "6: expected key = value\n"
              "7: unknown key 'colour'\n"
              "8: bad value 'maybe' for get_vm\n"
              "9: key 'get_vm' given twice; the first one counts\n"
              "10: bad value 'fail:0' for create_session\n"
              "11: key 'create_session' given twice; the first one counts\n"
              "12: bad value 'yes' for find_group\n"
              "13: bad value '' for journal\n"
              "14: key 'journal' given twice; the first one counts\n"
              "15: bad value 'later' for journal_mode\n");
    EXPECT_EQ(s.getVm, Settings::GetVm::Ok);
    EXPECT_EQ(s.createSession, Outcome::returning(0));
    EXPECT_FALSE(s.findGroupNull);
    EXPECT_FALSE(s.findClassNull);
    EXPECT_EQ(s.journal, "");
}

TEST(Outcome, FaultWordsAndTheirJournalText) {
    struct Case {
        const char* word;
        const char* journal;
    } cases[] = {
        {"fail", "fail -1"},
        {"fail:12", "fail 12"},
        {"fail:-2147483648", "fail -2147483648"},
        {"raise", "raise 0xE0424242"},
        {"raise:0x1", "raise 0x00000001"},
        {"raise:3758096385", "raise 0xE0000001"},
        {"access-violation", "access-violation"},
        {"msvc-throw", "msvc-throw"},
    };
    for (const Case& c : cases) {
        Outcome o;
        ASSERT_TRUE(parseFaultWord(c.word, o)) << c.word;
        EXPECT_EQ(describeOutcome(o), c.journal) << c.word;
    }
    for (const char* bad : {"", "fail:", "fail:0", "fail:x", "raise:", "raise:0x100000000",
                            "Fail", "access-violation:1", "msvc-throw:2", "crash", "5",
                            "exception"}) {
        Outcome o;
        EXPECT_FALSE(parseFaultWord(bad, o)) << bad;
    }
    EXPECT_EQ(describeOutcome(Outcome::returning(-17)), "-17");
}

TEST(Outcome, ReturnsItemsAreNumbersFaultWordsOrException) {
    struct Case {
        const char* word;
        const char* journal;
    } cases[] = {
        {"0", "0"}, {"-2147483648", "-2147483648"}, {"fail:3", "fail 3"},
        {"raise", "raise 0xE0424242"}, {"exception", "exception"},
    };
    for (const Case& c : cases) {
        Outcome o;
        ASSERT_TRUE(parseReturnsItem(c.word, o)) << c.word;
        EXPECT_EQ(describeOutcome(o), c.journal) << c.word;
    }
    Outcome o;
    ASSERT_TRUE(parseReturnsItem("exception", o));
    EXPECT_EQ(o, (Outcome{Outcome::Kind::Exception, 0, 0}));
    for (const char* bad : {"", "Exception", "exception:1", "exceptions", "2147483648", "1.0"})
        EXPECT_FALSE(parseReturnsItem(bad, o)) << bad;
}

}  // namespace
}  // namespace standin
