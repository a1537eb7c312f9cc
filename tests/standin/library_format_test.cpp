#include "standin/library_format.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

Outcome fail(long v) { return Outcome{Outcome::Kind::Fail, v, 0}; }
Outcome raise(unsigned long code) { return Outcome{Outcome::Kind::Raise, 0, code}; }

std::string problemsText(const LibraryDef& lib) {
    std::string out;
    for (const Problem& p : lib.problems) out += std::to_string(p.line) + ": " + p.message + "\n";
    return out;
}

TEST(LibraryFormat, ReadsClassesFunctionsAndWorklog) {
    const char* text =
        "# demo library\r\n"
        "class n_service\r\n"
        "  function of_startup LSB returns 0 takes 20\r\n"
        "  function of_run L returns 100 200 fail takes 300 10\r\n"
        "\tfunction of_stop QB\r\n"
        "  worklog  C:\\demo dir\\work log.txt  \r\n"
        "; second class\r\n"
        "class n_other\r\n"
        "function of_control QU takes 5 returns raise:0xE0001234\r\n";
    LibraryDef lib = parseLibrary(text);
    EXPECT_EQ(problemsText(lib), "");
    ASSERT_EQ(lib.classes.size(), 2u);

    const ClassDef& svc = lib.classes[0];
    EXPECT_EQ(svc.name, "n_service");
    EXPECT_EQ(svc.line, 2);
    EXPECT_EQ(svc.worklog, "C:\\demo dir\\work log.txt");
    ASSERT_EQ(svc.functions.size(), 3u);
    EXPECT_EQ(svc.functions[0].name, "of_startup");
    EXPECT_EQ(svc.functions[0].signature, "LSB");
    EXPECT_EQ(svc.functions[0].outcomes, std::vector<Outcome>{Outcome::returning(0)});
    EXPECT_EQ(svc.functions[0].durations, std::vector<unsigned long>{20});
    EXPECT_EQ(svc.functions[1].outcomes,
              (std::vector<Outcome>{Outcome::returning(100), Outcome::returning(200), fail(-1)}));
    EXPECT_EQ(svc.functions[1].durations, (std::vector<unsigned long>{300, 10}));
    EXPECT_EQ(svc.functions[1].line, 4);
    EXPECT_TRUE(svc.functions[2].outcomes.empty());
    EXPECT_TRUE(svc.functions[2].durations.empty());

    const ClassDef& other = lib.classes[1];
    EXPECT_EQ(other.name, "n_other");
    EXPECT_EQ(other.worklog, "");
    ASSERT_EQ(other.functions.size(), 1u);
    EXPECT_EQ(other.functions[0].outcomes, std::vector<Outcome>{raise(0xE0001234)});
    EXPECT_EQ(other.functions[0].durations, std::vector<unsigned long>{5});
}

TEST(LibraryFormat, SequencesRepeatTheirLastItem) {
    LibraryDef lib = parseLibrary(
        "class c\n"
        "function of_run L returns 7 8 9 takes 0 50\n"
        "function of_stop QB\n");
    ASSERT_EQ(lib.classes.size(), 1u);
    const FunctionDef& run = lib.classes[0].functions[0];
    EXPECT_EQ(run.outcomeOfCall(1), Outcome::returning(7));
    EXPECT_EQ(run.outcomeOfCall(2), Outcome::returning(8));
    EXPECT_EQ(run.outcomeOfCall(3), Outcome::returning(9));
    EXPECT_EQ(run.outcomeOfCall(4), Outcome::returning(9));
    EXPECT_EQ(run.outcomeOfCall(100000), Outcome::returning(9));
    EXPECT_EQ(run.durationOfCall(1), 0u);
    EXPECT_EQ(run.durationOfCall(2), 50u);
    EXPECT_EQ(run.durationOfCall(3), 50u);

    // Nothing declared: every call returns 0 at once.
    const FunctionDef& stop = lib.classes[0].functions[1];
    EXPECT_EQ(stop.outcomeOfCall(1), Outcome::returning(0));
    EXPECT_EQ(stop.outcomeOfCall(5), Outcome::returning(0));
    EXPECT_EQ(stop.durationOfCall(5), 0u);
}

TEST(LibraryFormat, OutcomeWords) {
    LibraryDef lib = parseLibrary(
        "class c\n"
        "function f L returns -2147483648 2147483647 fail fail:7 fail:-3 raise raise:3221225477 "
        "access-violation msvc-throw exception\n");
    EXPECT_EQ(problemsText(lib), "");
    ASSERT_EQ(lib.classes.size(), 1u);
    EXPECT_EQ(lib.classes[0].functions[0].outcomes,
              (std::vector<Outcome>{
                  Outcome::returning(-2147483647L - 1), Outcome::returning(2147483647L), fail(-1),
                  fail(7), fail(-3), raise(kDefaultRaiseCode), raise(0xC0000005UL),
                  Outcome{Outcome::Kind::AccessViolation, 0, kAccessViolationCode},
                  Outcome{Outcome::Kind::MsvcThrow, 0, kMsvcExceptionCode},
                  Outcome{Outcome::Kind::Exception, 0, 0}}));
}

TEST(LibraryFormat, SignaturesTellFunctionsApart) {
    LibraryDef lib = parseLibrary(
        "class c\n"
        "function of_control QU returns 1\n"
        "function of_control QS returns 2\n"
        "function of_control QU returns 3\n");
    EXPECT_EQ(problemsText(lib), "4: function 'of_control' 'QU' is already declared on line 2\n");
    const ClassDef& c = lib.classes[0];
    ASSERT_EQ(c.functions.size(), 2u);
    EXPECT_EQ(c.findFunction("of_control", "QU"), 0);
    EXPECT_EQ(c.findFunction("of_control", "QS"), 1);
    EXPECT_EQ(c.functions[0].outcomes, std::vector<Outcome>{Outcome::returning(1)});
    // Names and signatures match exactly, case included.
    EXPECT_EQ(c.findFunction("of_control", "Qu"), -1);
    EXPECT_EQ(c.findFunction("OF_CONTROL", "QU"), -1);
    EXPECT_EQ(c.findFunction("of_control", "QUB"), -1);
}

TEST(LibraryFormat, ClassNamesIgnoreCase) {
    LibraryDef lib = parseLibrary("class N_Service\nclass n_service\nfunction f L\n");
    EXPECT_EQ(problemsText(lib),
              "2: class 'n_service' is already declared on line 1\n"
              "3: function outside a class\n");
    ASSERT_EQ(lib.classes.size(), 1u);
    EXPECT_TRUE(lib.classes[0].functions.empty());
    EXPECT_EQ(lib.findClass("n_service"), 0);
    EXPECT_EQ(lib.findClass("N_SERVICE"), 0);
    EXPECT_EQ(lib.findClass("n_servic"), -1);
}

TEST(LibraryFormat, MalformedLinesAreReportedAndIgnoredWhole) {
    LibraryDef lib = parseLibrary(
        "function early L\n"                          // 1
        "worklog early.txt\n"                         // 2
        "class\n"                                     // 3
        "function after_bad_class L\n"                // 4
        "class c extra\n"                             // 5
        "class c\n"                                   // 6
        "function\n"                                  // 7
        "function only_name\n"                        // 8
        "function f returns 1\n"                      // 9
        "function f L returns\n"                      // 10
        "function f L returns 1 takes\n"              // 11
        "function f L returns 1 returns 2\n"          // 12
        "function f L returns 1.5\n"                  // 13
        "function f L returns 2147483648\n"           // 14
        "function f L returns fail:0\n"               // 15
        "function f L returns exception:1\n"         // 16
        "function f L takes -1\n"                     // 17
        "function f L takes 86400001\n"               // 18
        "function f L 5\n"                            // 19
        "Function f L\n"                              // 20
        "worklog\n"                                   // 21
        "worklog a.txt\n"                             // 22
        "worklog b.txt\n"                             // 23
        "function ok L takes 86400000\n");            // 24
    EXPECT_EQ(problemsText(lib),
              "1: function outside a class\n"
              "2: worklog outside a class\n"
              "3: class needs exactly one name\n"
              "4: function outside a class\n"
              "5: class needs exactly one name\n"
              "7: function needs a name and a signature\n"
              "8: function needs a name and a signature\n"
              "9: function needs a name and a signature\n"
              "10: 'returns' needs at least one value\n"
              "11: 'takes' needs at least one value\n"
              "12: 'returns' given twice\n"
              "13: bad outcome '1.5'\n"
              "14: bad outcome '2147483648'\n"
              "15: bad outcome 'fail:0'\n"
              "16: bad outcome 'exception:1'\n"
              "17: bad duration '-1'\n"
              "18: bad duration '86400001'\n"
              "19: unexpected '5'\n"
              "20: unknown keyword 'Function'\n"
              "21: worklog needs a file name\n"
              "23: worklog given twice for class 'c'\n");
    ASSERT_EQ(lib.classes.size(), 1u);
    const ClassDef& c = lib.classes[0];
    ASSERT_EQ(c.functions.size(), 1u);
    EXPECT_EQ(c.functions[0].name, "ok");
    EXPECT_EQ(c.functions[0].durations, std::vector<unsigned long>{86400000});
    EXPECT_EQ(c.worklog, "a.txt");
}

TEST(LibraryFormat, TextLayout) {
    // Byte order mark, LF or CR LF, no final line end; a lone CR is part of a word.
    LibraryDef lib = parseLibrary("\xEF\xBB\xBF" "class a\r\n\r\nfunction f L\nfunction g\rh L");
    EXPECT_EQ(problemsText(lib), "");
    ASSERT_EQ(lib.classes.size(), 1u);
    ASSERT_EQ(lib.classes[0].functions.size(), 2u);
    EXPECT_EQ(lib.classes[0].functions[1].name, "g\rh");
    EXPECT_EQ(lib.classes[0].functions[1].line, 4);

    EXPECT_TRUE(parseLibrary("").classes.empty());
    EXPECT_TRUE(parseLibrary("").problems.empty());
    // Something that is not a stand-in library at all yields problems, not classes.
    const char bytes[] = "HDR*\0\0\x01\x02 data\n";
    LibraryDef binary = parseLibrary(std::string(bytes, sizeof bytes - 1));
    EXPECT_TRUE(binary.classes.empty());
    EXPECT_EQ(binary.problems.size(), 1u);
}

}  // namespace
}  // namespace standin
