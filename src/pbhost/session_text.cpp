#include "pbhost/session_text.h"

#include <windows.h>

#include <cstring>

namespace {

// Every character of an ANSI code page, of one byte or two, becomes one UTF-16 unit: the
// text's own length is room enough.
std::unique_ptr<wchar_t[]> FromAnsi(const char* text) {
    const std::size_t length = std::strlen(text);
    std::unique_ptr<wchar_t[]> wide(new wchar_t[length + 1]);
    const int units = static_cast<int>(length);
    const int converted = units > 0 ? MultiByteToWideChar(CP_ACP, 0, text, units, wide.get(), units) : 0;
    wide[converted > 0 ? static_cast<std::size_t>(converted) : 0] = L'\0';
    return wide;
}

}  // namespace

SessionText<wchar_t>::SessionText(const char* text) : text_(FromAnsi(text)) {}

SessionTextList<wchar_t>::SessionTextList(const char** texts, std::size_t count)
    : texts_(new std::unique_ptr<wchar_t[]>[count]), pointers_(new const wchar_t*[count + 1]) {
    for (std::size_t i = 0; i < count; ++i) {
        texts_[i] = FromAnsi(texts[i]);
        pointers_[i] = texts_[i].get();
    }
    pointers_[count] = nullptr;
}
