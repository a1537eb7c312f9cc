// The host's text as a session takes it.  The settings are single-byte text in the ANSI
// code page; a PowerBuilder 9 session takes them as they are, a session of PowerBuilder
// 10 and later takes UTF-16.
//
// The conversions keep to plain arrays: std::wstring would bring the wide-string half of
// the C++ library into the statically linked program, some 50 KB, for a few names.
#pragma once

#include <cstddef>
#include <memory>

template <class Char>
class SessionText;

template <>
class SessionText<char> {
public:
    explicit SessionText(const char* text) : text_(text) {}
    const char* get() const { return text_; }

private:
    const char* text_;
};

template <>
class SessionText<wchar_t> {
public:
    // Converted from the ANSI code page; a text that cannot be converted becomes empty.
    explicit SessionText(const char* text);
    const wchar_t* get() const { return text_.get(); }

private:
    std::unique_ptr<wchar_t[]> text_;
};

// A list of the host's texts as a session takes it: the same array for PowerBuilder 9,
// converted copies for 10 and later.  The array lives as long as the list.
template <class Char>
class SessionTextList;

template <>
class SessionTextList<char> {
public:
    SessionTextList(const char** texts, std::size_t) : texts_(texts) {}
    const char** get() const { return texts_; }

private:
    const char** texts_;
};

template <>
class SessionTextList<wchar_t> {
public:
    SessionTextList(const char** texts, std::size_t count);
    const wchar_t** get() { return pointers_.get(); }

private:
    std::unique_ptr<std::unique_ptr<wchar_t[]>[]> texts_;
    std::unique_ptr<const wchar_t*[]> pointers_;  // one more than texts, so never empty
};
