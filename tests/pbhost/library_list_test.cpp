// The split of the library-list text, on its own (no Windows involved).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pbhost/library_list.h"

namespace {

std::vector<std::string> Split(std::string text) {
    const size_t expected = CountLibraryNames(text.c_str());
    std::vector<const char*> names(expected + 1, nullptr);
    const size_t count = SplitLibraryList(&text[0], names.data());
    EXPECT_EQ(count, expected) << "the count agrees with the split";
    EXPECT_EQ(names[count], nullptr) << "nothing is written past the counted names";
    return std::vector<std::string>(names.begin(), names.begin() + static_cast<long>(count));
}

using Names = std::vector<std::string>;

TEST(LibraryListSplit, OnlySemicolonsSeparateAndEmptyPiecesYieldNoName) {
    EXPECT_EQ(Split("a.pbl;b.pbl"), (Names{"a.pbl", "b.pbl"}));
    EXPECT_EQ(Split(";;a.pbl;;;b.pbl;"), (Names{"a.pbl", "b.pbl"}));
    EXPECT_EQ(Split(""), Names{});
    EXPECT_EQ(Split(";"), Names{});
    EXPECT_EQ(Split(";;;"), Names{});
    EXPECT_EQ(Split("only.pbl"), (Names{"only.pbl"}));
}

TEST(LibraryListSplit, BlanksTabsAndLineEndsBelongToTheNames) {
    EXPECT_EQ(Split(" a.pbl ;\tb.pbl\r\n;c d.pbl"), (Names{" a.pbl ", "\tb.pbl\r\n", "c d.pbl"}));
    EXPECT_EQ(Split("a.pbl,b.pbl:c.pbl|d.pbl\ne.pbl"), (Names{"a.pbl,b.pbl:c.pbl|d.pbl\ne.pbl"}));
    EXPECT_EQ(Split(" ; "), (Names{" ", " "}));
    EXPECT_EQ(Split("\xe9t\xe9.pbl;\x01"), (Names{"\xe9t\xe9.pbl", "\x01"}));
}

TEST(LibraryListSplit, OrderIsKeptAndTheTextEndsAtItsFirstZero) {
    EXPECT_EQ(Split("z;y;x;y"), (Names{"z", "y", "x", "y"}));
    std::string text("a.pbl;b.pbl");
    text += '\0';
    text += ";c.pbl";
    EXPECT_EQ(Split(text), (Names{"a.pbl", "b.pbl"}));
}

TEST(LibraryListFileSize, AnythingAbove64MiBIsTooLarge) {
    EXPECT_FALSE(LibraryListFileTooLarge(0));
    EXPECT_FALSE(LibraryListFileTooLarge(64ull * 1024 * 1024));
    EXPECT_TRUE(LibraryListFileTooLarge(64ull * 1024 * 1024 + 1));
    EXPECT_TRUE(LibraryListFileTooLarge(0x100000005ull));
}

}  // namespace
