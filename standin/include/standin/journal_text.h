// The text of the stand-in VM's journal lines (format in standin/README.md):
//
//   <ms> <thread id> <operation> <field> ... [-> <result field> ...]CRLF
//
// A field is either a quoted string or a word without blanks.  This header makes the
// fields and also reads lines back, for tests and tools that check a journal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// "..." with \r \n \t \; \" \\ and \xHH (upper-case hex) for every other byte outside
// 0x20..0x7E.  Blanks stay as they are.
std::string quote(std::string_view raw);

// The same for UTF-16 text (wchar_t as on Windows: one code unit each), written by the VM
// of PowerBuilder 10 and later: a unit below 0x80 exactly as quote() writes that byte, so
// that ASCII text reads the same from either VM; every other unit as \uXXXX (upper-case
// hex; a surrogate pair as two of them).
std::string quote(std::wstring_view raw);

// The reverse of quote(); false when quoted is not exactly one well-formed quoted string.
// \uXXXX becomes the character's UTF-8 bytes (a lone surrogate its three-byte form).
bool unquote(std::string_view quoted, std::string& raw);

// A performance-counter reading as milliseconds with three decimals, e.g. "1234.567".
std::string formatMillis(unsigned long long counter, unsigned long long frequency);

// Builds the part of a line after the thread id.
class JournalLine {
public:
    explicit JournalLine(std::string_view operation);

    JournalLine& word(std::string_view w);           // as is; must have no blanks
    JournalLine& str(std::string_view s);            // quoted
    JournalLine& str(const char* s);                 // quoted, or the word null
    JournalLine& str(std::wstring_view s);           // quoted as UTF-16
    JournalLine& str(const wchar_t* s);              // quoted as UTF-16, or the word null
    JournalLine& num(long v);
    JournalLine& unum(unsigned long v);
    JournalLine& hex(unsigned long v);               // 0xXXXXXXXX
    JournalLine& handle(unsigned serial);            // #serial
    JournalLine& unknownHandle(std::uintptr_t raw);  // null, or ?0xXXXXXXXX
    JournalLine& boolean(bool b);                    // true / false
    JournalLine& arrow();                            // ->
    JournalLine& error(std::string_view why);        // error "why"

    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// One field of a line read back: quoted strings are unquoted, and quoted tells them apart
// from words (so "null" and null differ).
struct JournalField {
    std::string text;
    bool quoted = false;
    bool operator==(const JournalField& o) const { return text == o.text && quoted == o.quoted; }
};

// Splits a line (with or without its CR LF) into fields.  False when it is not made of
// fields separated by single spaces, or a quoted string is malformed.
bool splitJournalLine(std::string_view line, std::vector<JournalField>& fields);

}  // namespace standin
