#include "common/system_error.h"

#include <windows.h>

#include "common/console.h"

std::string SystemErrorText(unsigned long errorNumber) {
    char text[260] = {0};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, errorNumber, 0, text,
                                  sizeof text, nullptr);
    if (length == 0) return std::string();
    return std::string(text, length);
}

void PrintFailureWithError(const char* leadFormat, const char* name, unsigned long errorNumber) {
    const std::string text = SystemErrorText(errorNumber);
    Print(leadFormat, name);
    Print("Error# %d - %s\r\n", static_cast<int>(errorNumber), text.c_str());
}
