#include "pbhost/library_list.h"

bool LibraryListFileTooLarge(std::uint64_t size) { return size > kMaxLibraryListFileSize; }

std::size_t CountLibraryNames(const char* text) {
    std::size_t count = 0;
    bool inName = false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == ';') {
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
        if (*p == ';') {
            *p = '\0';
            inName = false;
        } else if (!inName) {
            inName = true;
            names[count++] = p;
        }
    }
    return count;
}
