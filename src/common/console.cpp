#include "common/console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>

void InitConsoleOutput() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

void PrintValueTooLong(const char* fieldName, int maxCharacters) {
    Print("The value for %s is too long (at most %d characters)!\r\n", fieldName, maxCharacters);
}
