// The split of the library-list text.
//
// Input: the text, as a list file would hold it (it ends at its first zero byte).
//
// Properties:
// - the count agrees with the split, and the split writes no more names than counted
//   (the array has exactly that many slots, so the address sanitizer sees any more);
// - the names are the non-empty pieces between separators (";", CR, LF) in order, none
//   holds a separator or is empty, and joined with ";" they give the text with its empty
//   pieces left out and every separator made ";";
// - every name points into the text at the start of its piece; the split changes no
//   byte but the separators, and nothing after the text's end;
// - a list file is refused exactly when it is larger than 64 MiB.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "pbhost/library_list.h"

namespace {

bool IsSeparator(char c) { return c == ';' || c == '\r' || c == '\n'; }

// The text with every run of separators made one ";" and the ";" at either end dropped: what the
// names joined with ";" must give back.
std::string WithoutEmptyPieces(const std::string& text) {
    std::string result;
    bool pendingSeparator = false;
    for (char c : text) {
        if (IsSeparator(c)) {
            pendingSeparator = !result.empty();
            continue;
        }
        if (pendingSeparator) result.push_back(';');
        pendingSeparator = false;
        result.push_back(c);
    }
    return result;
}

std::vector<std::string> Pieces(const std::string& text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find_first_of(";\r\n", start);
        const std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!piece.empty()) pieces.push_back(piece);
        if (end == std::string::npos) return pieces;
        start = end + 1;
    }
}

void CheckFileSizeLimit(const uint8_t* data, size_t size) {
    uint64_t fileSize = 0;
    std::memcpy(&fileSize, data, size < sizeof fileSize ? size : sizeof fileSize);
    FUZZ_CHECK(LibraryListFileTooLarge(fileSize) == (fileSize > 64ull * 1024 * 1024));
    // The limit itself and its neighbours, wherever the input lands.
    FUZZ_CHECK(!LibraryListFileTooLarge(kMaxLibraryListFileSize));
    FUZZ_CHECK(LibraryListFileTooLarge(kMaxLibraryListFileSize + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckFileSizeLimit(data, size);

    // Exactly the input and one zero byte, as the host reads a list file: a read beyond
    // the buffer is caught by the address sanitizer.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    const std::string original(text.get());  // up to the first zero byte
    const std::vector<char> copy(text.get(), text.get() + size + 1);

    const size_t expected = CountLibraryNames(text.get());
    std::unique_ptr<const char*[]> names(new const char*[expected]);
    const size_t count = SplitLibraryList(text.get(), names.get());
    FUZZ_CHECK(count == expected);
    FUZZ_CHECK(count <= (original.size() + 1) / 2);

    const std::vector<std::string> pieces = Pieces(original);
    FUZZ_CHECK(count == pieces.size());
    std::string joined;
    for (size_t i = 0; i < count; ++i) {
        const char* name = names[i];
        FUZZ_CHECK(name >= text.get() && name < text.get() + original.size());
        FUZZ_CHECK(i == 0 || name > names[i - 1]);
        const size_t offset = static_cast<size_t>(name - text.get());
        FUZZ_CHECK(offset == 0 || IsSeparator(original[offset - 1]));
        const std::string value(name);
        FUZZ_CHECK(!value.empty());
        FUZZ_CHECK(value.find_first_of(";\r\n") == std::string::npos);
        FUZZ_CHECK(value == pieces[i]);
        if (i > 0) joined.push_back(';');
        joined += value;
    }
    FUZZ_CHECK(joined == WithoutEmptyPieces(original));

    for (size_t i = 0; i <= size; ++i) {
        if (i < original.size() && IsSeparator(copy[i])) {
            FUZZ_CHECK(text[i] == '\0');
        } else {
            FUZZ_CHECK(text[i] == copy[i]);
        }
    }
    return 0;
}
