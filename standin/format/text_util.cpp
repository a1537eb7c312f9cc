#include "standin/text_util.h"

#include <cstdint>

namespace standin {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::vector<std::string> splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        std::size_t start = i;
        while (i < line.size() && !isBlank(line[i])) ++i;
        if (i > start) words.emplace_back(line.substr(start, i - start));
    }
    return words;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        text.remove_prefix(lf + 1);
    }
    return lines;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

bool parseLong32(std::string_view s, long& out) {
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 10) return false;
    std::int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = long(v);
    return true;
}

bool parseUnsigned32(std::string_view s, unsigned long& out) {
    std::uint64_t v = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        if (s.size() > 8) return false;
        for (char c : s) {
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return false;
            v = v * 16 + unsigned(d);
        }
    } else {
        if (s.empty() || s.size() > 10) return false;
        for (char c : s) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + unsigned(c - '0');
        }
        if (v > UINT32_MAX) return false;
    }
    out = static_cast<unsigned long>(v);
    return true;
}

std::string withoutExtension(std::string_view path) {
    std::size_t dot = path.rfind('.');
    std::size_t sep = path.find_last_of("\\/");
    if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep))
        return std::string(path);
    return std::string(path.substr(0, dot));
}

std::string resolveBeside(std::string_view baseFile, std::string_view path) {
    bool absolute = (!path.empty() && isSeparator(path[0])) ||
                    (path.size() >= 2 && path[1] == ':');
    if (absolute) return std::string(path);
    std::size_t sep = baseFile.find_last_of("\\/");
    if (sep == std::string_view::npos) return std::string(path);
    std::string folder(baseFile.substr(0, sep + 1));
    return folder + std::string(path);
}

}  // namespace standin
