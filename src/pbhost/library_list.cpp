#include "pbhost/library_list.h"

#include <cctype>
#include <cstring>

namespace {

bool IsSeparator(char c) { return c == ';' || c == '\r' || c == '\n'; }

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

}  // namespace

bool NamesOneLibrary(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length < 4) return false;
    const char* extension = path + length - 4;
    return EqualsIgnoringCase(extension, ".pbl") || EqualsIgnoringCase(extension, ".pbd") ||
           EqualsIgnoringCase(extension, ".dll");
}

bool LibraryListFileTooLarge(std::uint64_t size) { return size > kMaxLibraryListFileSize; }

std::size_t CountLibraryNames(const char* text) {
    std::size_t count = 0;
    bool inName = false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (IsSeparator(*p)) {
            inName = false;
        } else if (!inName) {
            inName = true;
            ++count;
        }
    }
    return count;
}

std::size_t SplitLibraryList(char* text, const char** names) {
    std::size_t count = 0;
    bool inName = false;
    for (char* p = text; *p != '\0'; ++p) {
        if (IsSeparator(*p)) {
            *p = '\0';
            inName = false;
        } else if (!inName) {
            inName = true;
            names[count++] = p;
        }
    }
    return count;
}
