// Small text helpers shared by the library, settings and journal code of the stand-in VM.
// Pure C++: nothing here calls the Windows API, so all of it can be unit-tested anywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace standin {

// A problem found in a text file, with its 1-based line number (0 when it concerns the
// whole file).
struct Problem {
    int line = 0;
    std::string message;
};

// Blanks are spaces and tabs; nothing else is trimmed or split on.
std::string_view trimBlanks(std::string_view s);
std::vector<std::string> splitWords(std::string_view line);

// Splits on LF, drops one CR before each LF and a UTF-8 byte order mark at the start.
// A final line without LF is kept; an empty text has no lines.
std::vector<std::string_view> splitLines(std::string_view text);

bool equalsIgnoreCase(std::string_view a, std::string_view b);  // ASCII letters only

// A decimal number with an optional sign that fits in 32 bits.
bool parseLong32(std::string_view s, long& out);
// A decimal, or 0x-prefixed hexadecimal, number that fits in 32 unsigned bits.
bool parseUnsigned32(std::string_view s, unsigned long& out);

// "C:\dir\pbvm90.dll" -> "C:\dir\pbvm90": drops the extension of the last path component.
std::string withoutExtension(std::string_view path);

// A path as it is used beside a file: absolute paths ("C:\x", "\x", "\\server\x", "/x")
// come back unchanged, a relative one is taken relative to the folder of baseFile.
std::string resolveBeside(std::string_view baseFile, std::string_view path);

}  // namespace standin
