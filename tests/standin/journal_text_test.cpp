#include "standin/journal_text.h"
#include "standin/text_util.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

std::vector<JournalField> split(std::string_view line) {
    std::vector<JournalField> fields;
    EXPECT_TRUE(splitJournalLine(line, fields)) << line;
    return fields;
}

JournalField w(const char* text) { return JournalField{text, false}; }
JournalField q(std::string text) { return JournalField{std::move(text), true}; }

TEST(JournalQuote, MakesSeparatorsAndControlBytesVisible) {
    EXPECT_EQ(quote(""), "\"\"");
    EXPECT_EQ(quote("C:\\Program Files\\app.pbd"), "\"C:\\\\Program Files\\\\app.pbd\"");
    EXPECT_EQ(quote("a;b"), "\"a\\;b\"");
    EXPECT_EQ(quote("say \"hi\""), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(quote("one\r\ntwo\tthree"), "\"one\\r\\ntwo\\tthree\"");
    EXPECT_EQ(quote(std::string("\0\x01\x1F\x7F\x80\xE9\xFF", 7)),
              "\"\\x00\\x01\\x1F\\x7F\\x80\\xE9\\xFF\"");
    EXPECT_EQ(quote(" ~"), "\" ~\"");
}

TEST(JournalQuote, WideTextAsTheNarrowBelow0x80AndAsUtf16UnitsAbove) {
    std::string ascii;
    std::wstring wide;
    for (int c = 0; c < 0x80; ++c) ascii += char(c), wide += wchar_t(c);
    EXPECT_EQ(quote(wide), quote(ascii));
    EXPECT_EQ(quote(L"Z\u00FCrich \u20AC\xD83D\xDE00\x80"),
              "\"Z\\u00FCrich \\u20AC\\uD83D\\uDE00\\u0080\"");
    std::string back;  // read back as UTF-8; a lone surrogate in its three-byte form
    ASSERT_TRUE(unquote(quote(L"Z\u00FCrich \u20AC\xD83D\xDE00\xDC00\x01"), back));
    EXPECT_EQ(back, "Z\xC3\xBCrich \xE2\x82\xAC\xF0\x9F\x98\x80\xED\xB0\x80\x01");
    JournalLine line("X");
    line.str(static_cast<const wchar_t*>(nullptr)).str(L"a;\u00E9").str(std::wstring(L"b"));
    EXPECT_EQ(line.text(), "X null \"a\\;\\u00E9\" \"b\"");
}

TEST(JournalQuote, UnquoteReversesEveryByte) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    std::string back;
    ASSERT_TRUE(unquote(quote(all), back));
    EXPECT_EQ(back, all);
    ASSERT_TRUE(unquote("\"\\x4a\\x4A\"", back));  // either case of hex digits
    EXPECT_EQ(back, "JJ");
}

TEST(JournalQuote, UnquoteRejectsMalformedText) {
    std::string out = "untouched";
    for (const char* bad : {"", "\"", "abc", "\"abc", "abc\"", "\"a\"b\"", "\"\\q\"", "\"\\x4\"",
                            "\"\\xG0\"", "\"\\\"", "\"x\\\"", "\"\\u12\"",
                            "\"\\u12G4\""}) {
        EXPECT_FALSE(unquote(bad, out)) << bad;
    }
    EXPECT_EQ(out, "untouched");
}

TEST(JournalTime, MillisecondsWithThreeDecimals) {
    EXPECT_EQ(formatMillis(0, 10000000), "0.000");
    EXPECT_EQ(formatMillis(12345678, 10000000), "1234.567");
    EXPECT_EQ(formatMillis(9999, 10000000), "0.999");
    EXPECT_EQ(formatMillis(3000000000ULL, 3000000000ULL), "1000.000");
    // Near the top of the counter range there is no overflow.
    EXPECT_EQ(formatMillis(9223372036854775807ULL, 10000000), "922337203685477.580");
    EXPECT_EQ(formatMillis(5, 0), "0.000");
}

TEST(JournalLineText, FieldsInOrder) {
    JournalLine line("GetMethodID");
    line.handle(2).str("of_run").num(0).str("L").num(1).arrow().unum(4000000000UL);
    EXPECT_EQ(line.text(), "GetMethodID #2 \"of_run\" 0 \"L\" 1 -> 4000000000");

    JournalLine other("X");
    other.str(static_cast<const char*>(nullptr)).str("null").unknownHandle(0)
        .unknownHandle(0x1234).hex(0xE06D7363UL).boolean(true).boolean(false).error("bad; \"x\"");
    EXPECT_EQ(other.text(),
              "X null \"null\" null ?0x00001234 0xE06D7363 true false error \"bad\\; \\\"x\\\"\"");
}

TEST(JournalSplit, ReadsBackWhatWasWritten) {
    JournalLine line("CreateSession");
    line.str("my app").num(2).str("a b;c.pbd").str(static_cast<const char*>(nullptr)).arrow()
        .num(0).handle(1);
    EXPECT_EQ(split("1234.567 36 " + line.text() + "\r\n"),
              (std::vector<JournalField>{w("1234.567"), w("36"), w("CreateSession"), q("my app"),
                                         w("2"), q("a b;c.pbd"), w("null"), w("->"), w("0"),
                                         w("#1")}));
    // Quoted strings may hold blanks and escaped quotes; an empty string is a field too.
    EXPECT_EQ(split("\"\" \"a \\\" b\" x"),
              (std::vector<JournalField>{q(""), q("a \" b"), w("x")}));
}

TEST(JournalSplit, RejectsIrregularLines) {
    std::vector<JournalField> fields{w("kept")};
    for (const char* bad : {"", "a  b", " a", "a ", "a \"b", "a \"b\"c", "a b\"c", "\"\\q\"",
                            "a\r\nb"}) {
        EXPECT_FALSE(splitJournalLine(bad, fields)) << bad;
    }
    EXPECT_EQ(fields, std::vector<JournalField>{w("kept")});
}

TEST(TextUtil, Numbers) {
    long l = 0;
    EXPECT_TRUE(parseLong32("-2147483648", l));
    EXPECT_EQ(l, -2147483647L - 1);
    EXPECT_TRUE(parseLong32("+15", l));
    EXPECT_EQ(l, 15);
    for (const char* bad : {"", "-", "2147483648", "-2147483649", "1e3", "0x10", " 1", "99999999999"})
        EXPECT_FALSE(parseLong32(bad, l)) << bad;

    unsigned long u = 0;
    EXPECT_TRUE(parseUnsigned32("4294967295", u));
    EXPECT_EQ(u, 4294967295UL);
    EXPECT_TRUE(parseUnsigned32("0xE06d7363", u));
    EXPECT_EQ(u, 0xE06D7363UL);
    for (const char* bad : {"", "0x", "4294967296", "0x100000000", "-1", "0xZ1", "12a"})
        EXPECT_FALSE(parseUnsigned32(bad, u)) << bad;
}

TEST(TextUtil, PathsBesideTheDll) {
    EXPECT_EQ(withoutExtension("C:\\svc\\pbvm90.dll"), "C:\\svc\\pbvm90");
    EXPECT_EQ(withoutExtension("C:\\my.dir\\pbvm90"), "C:\\my.dir\\pbvm90");
    EXPECT_EQ(withoutExtension("C:\\a\\b.c.dll"), "C:\\a\\b.c");

    EXPECT_EQ(resolveBeside("C:\\svc\\pbvm90.dll", "journal.txt"), "C:\\svc\\journal.txt");
    EXPECT_EQ(resolveBeside("C:\\svc\\pbvm90.dll", "logs\\j.txt"), "C:\\svc\\logs\\j.txt");
    EXPECT_EQ(resolveBeside("Z:/tmp/lib.txt", "work.log"), "Z:/tmp/work.log");
    EXPECT_EQ(resolveBeside("C:\\svc\\pbvm90.dll", "D:\\j.txt"), "D:\\j.txt");
    EXPECT_EQ(resolveBeside("C:\\svc\\pbvm90.dll", "\\\\server\\share\\j.txt"),
              "\\\\server\\share\\j.txt");
    EXPECT_EQ(resolveBeside("C:\\svc\\pbvm90.dll", "\\j.txt"), "\\j.txt");
    EXPECT_EQ(resolveBeside("lib.txt", "work.log"), "work.log");
}

}  // namespace
}  // namespace standin
