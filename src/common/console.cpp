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
#if defined(__MINGW32__)
    // The C runtime's own formatter: the messages need only %s and %d, and MinGW's
    // replacement (which std::vfprintf means there) would add some 25 KB to the program.
    __ms_vfprintf(stdout, format, args);
#else
    std::vfprintf(stdout, format, args);
#endif
    va_end(args);
    std::fflush(stdout);
}

void PrintValueTooLong(const char* fieldName, int maxCharacters) {
    Print("The value for %s is too long (at most %d characters)!\r\n", fieldName, maxCharacters);
}
