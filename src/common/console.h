// Standard output for the command-line messages.  Every message carries its own CR LF,
// so standard output is switched to binary mode: the C runtime must not turn "\r\n"
// into "\r\r\n".  User text only ever reaches output as a %s argument, never as a format.
#pragma once

void InitConsoleOutput();

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Print(const char* format, ...);

// "The value for %s is too long (at most %d characters)!\r\n"
void PrintValueTooLong(const char* fieldName, int maxCharacters);
