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

std::string FolderOfFirstLibrary(const char* list) {
    std::size_t length = 0;
    while (list[length] != '\0' && !IsSeparator(list[length])) ++length;
    const std::string item(list, length);
    std::size_t root = 0;  // the length of the item's root, its closing backslash included
    if (item.size() >= 3 && std::isalpha(static_cast<unsigned char>(item[0])) && item[1] == ':' && item[2] == '\\') {
        root = 3;
    } else if (item.compare(0, 2, "\\\\") == 0) {
        const std::size_t server = item.find('\\', 2);
        if (server == std::string::npos || server == 2) return std::string();
        const std::size_t share = item.find('\\', server + 1);
        if (share == std::string::npos || share == server + 1) return std::string();
        root = share + 1;
    } else {
        return std::string();
    }
    const std::size_t last = item.rfind('\\');
    return item.substr(0, last + 1 == root ? root : last);
}
