#include "pbhost/session_text.h"

#include <windows.h>

#include <cstring>

SessionText<wchar_t>::SessionText(const char* text) {
    const int length = static_cast<int>(std::strlen(text));
    if (length == 0) return;
    // Every character of an ANSI code page, of one byte or two, becomes one UTF-16 unit:
    // the text's own length is room enough.
    text_.resize(static_cast<std::size_t>(length));
    const int converted = MultiByteToWideChar(CP_ACP, 0, text, length, &text_[0], length);
    text_.resize(converted > 0 ? static_cast<std::size_t>(converted) : 0);
}

SessionTextList<wchar_t>::SessionTextList(const char** texts, std::size_t count) {
    texts_.reserve(count);
    pointers_.reserve(count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        texts_.emplace_back(texts[i]);
        pointers_.push_back(texts_.back().get());
    }
    pointers_.push_back(nullptr);
}
