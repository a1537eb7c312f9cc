#include "standin/journal_text.h"

#include <cstdio>

namespace standin {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Length of the quoted string at the start of s (both quotes included), or 0 when there
// is no closing quote.
std::size_t quotedLength(std::string_view s) {
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\') ++i;
        else if (s[i] == '"') return i + 1;
    }
    return 0;
}

const char kHexDigits[] = "0123456789ABCDEF";

// Reads count hex digits at s[pos...]; false when there are fewer.
bool readHex(std::string_view s, std::size_t pos, std::size_t count, unsigned long& value) {
    if (pos + count > s.size()) return false;
    value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        int digit = hexDigit(s[i]);
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

void appendUtf8(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};  // by continuation bytes
    int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(kLead[more] | (c >> (6 * more)));
    for (int i = more - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

// Appends the journal form of a character below 0x100 (a byte, or a UTF-16 unit below 0x80).
void appendEscaped(std::string& out, unsigned c) {
    switch (c) {
    case '\r': out += "\\r"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    case ';': out += "\\;"; break;
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    default:
        if (c >= 0x20 && c <= 0x7E) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHexDigits[(c >> 4) & 15];
            out += kHexDigits[c & 15];
        }
    }
}

}  // namespace

std::string quote(std::string_view raw) {
    std::string out;
    out.reserve(raw.size() + 2);
    out += '"';
    for (char ch : raw) appendEscaped(out, static_cast<unsigned char>(ch));
    out += '"';
    return out;
}

std::string quote(std::wstring_view raw) {
    std::string out;
    out.reserve(raw.size() + 2);
    out += '"';
    for (wchar_t ch : raw) {
        unsigned long unit = static_cast<unsigned long>(ch);
        if (unit < 0x80) {
            appendEscaped(out, static_cast<unsigned>(unit));
            continue;
        }
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 15];
    }
    out += '"';
    return out;
}

bool unquote(std::string_view q, std::string& raw) {
    if (q.size() < 2 || q.front() != '"' || q.back() != '"') return false;
    q = q.substr(1, q.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < q.size(); ++i) {
        char c = q[i];
        if (c == '"') return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == q.size()) return false;
        switch (q[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case ';': out += ';'; break;
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            unsigned long byte = 0;
            if (!readHex(q, i + 1, 2, byte)) return false;
            out += static_cast<char>(byte);
            i += 2;
            break;
        }
        case 'u': {
            unsigned long unit = 0, low = 0;
            if (!readHex(q, i + 1, 4, unit)) return false;
            i += 4;
            if (unit >= 0xD800 && unit < 0xDC00 && q.substr(i + 1, 2) == "\\u" &&
                readHex(q, i + 3, 4, low) && low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 6;
            }
            appendUtf8(out, unit);
            break;
        }
        default:
            return false;
        }
    }
    raw = std::move(out);
    return true;
}

std::string formatMillis(unsigned long long counter, unsigned long long frequency) {
    unsigned long long micros = 0;
    if (frequency != 0)
        micros = counter / frequency * 1000000ULL + counter % frequency * 1000000ULL / frequency;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llu.%03u", micros / 1000ULL, unsigned(micros % 1000ULL));
    return buffer;
}

JournalLine::JournalLine(std::string_view operation) : text_(operation) {}

JournalLine& JournalLine::word(std::string_view w) {
    text_ += ' ';
    text_ += w;
    return *this;
}

JournalLine& JournalLine::str(std::string_view s) { return word(quote(s)); }

JournalLine& JournalLine::str(const char* s) {
    return s ? word(quote(s)) : word("null");
}

JournalLine& JournalLine::str(std::wstring_view s) { return word(quote(s)); }

JournalLine& JournalLine::str(const wchar_t* s) {
    return s ? word(quote(std::wstring_view(s))) : word("null");
}

JournalLine& JournalLine::num(long v) { return word(std::to_string(v)); }

JournalLine& JournalLine::unum(unsigned long v) { return word(std::to_string(v)); }

JournalLine& JournalLine::hex(unsigned long v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lX", v);
    return word(buffer);
}

JournalLine& JournalLine::handle(unsigned serial) { return word("#" + std::to_string(serial)); }

JournalLine& JournalLine::unknownHandle(std::uintptr_t raw) {
    if (raw == 0) return word("null");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "?0x%08llX", static_cast<unsigned long long>(raw));
    return word(buffer);
}

JournalLine& JournalLine::boolean(bool b) { return word(b ? "true" : "false"); }

JournalLine& JournalLine::arrow() { return word("->"); }

JournalLine& JournalLine::error(std::string_view why) { return word("error").str(why); }

bool splitJournalLine(std::string_view line, std::vector<JournalField>& fields) {
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") line.remove_suffix(2);
    std::vector<JournalField> out;
    while (true) {
        JournalField f;
        std::size_t length;
        if (!line.empty() && line[0] == '"') {
            length = quotedLength(line);
            if (length == 0 || !unquote(line.substr(0, length), f.text)) return false;
            f.quoted = true;
        } else {
            length = line.find(' ');
            if (length == std::string_view::npos) length = line.size();
            f.text = std::string(line.substr(0, length));
            if (f.text.empty() || f.text.find_first_of("\"\r\n") != std::string::npos) return false;
        }
        out.push_back(std::move(f));
        line.remove_prefix(length);
        if (line.empty()) break;
        if (line[0] != ' ') return false;
        line.remove_prefix(1);
    }
    fields = std::move(out);
    return true;
}

}  // namespace standin
