#pragma once

#include <string>

// The system's text for a Windows error number, exactly as FormatMessageA gives it
// (line break included, not trimmed), or an empty string when it has none.
std::string SystemErrorText(unsigned long errorNumber);

// Prints "<what> '<name>' failed:\r\nError# <n> - <text>\r\n"-style reports: the caller
// gives the leading format with one %s for the name; the error part is the same for all.
void PrintFailureWithError(const char* leadFormat, const char* name, unsigned long errorNumber);
