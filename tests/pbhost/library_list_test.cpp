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

TEST(LibraryListSplit, SemicolonsAndLineEndsSeparateAndEmptyPiecesYieldNoName) {
    EXPECT_EQ(Split("a.pbl;b.pbl"), (Names{"a.pbl", "b.pbl"}));
    EXPECT_EQ(Split(";;a.pbl;;;b.pbl;"), (Names{"a.pbl", "b.pbl"}));
    EXPECT_EQ(Split("a.pbl\r\nb.pbl\r\n\r\nc.pbl\nd.pbl\re.pbl\r\n"),
              (Names{"a.pbl", "b.pbl", "c.pbl", "d.pbl", "e.pbl"}));
    EXPECT_EQ(Split(""), Names{});
    EXPECT_EQ(Split(";"), Names{});
    EXPECT_EQ(Split(";\r\n;\n"), Names{});
    EXPECT_EQ(Split("only.pbl"), (Names{"only.pbl"}));
}

TEST(LibraryListSplit, BlanksTabsAndOtherBytesBelongToTheNames) {
    EXPECT_EQ(Split(" a.pbl ;\tb.pbl\t\r\n;c d.pbl"), (Names{" a.pbl ", "\tb.pbl\t", "c d.pbl"}));
    EXPECT_EQ(Split("a.pbl,b.pbl:c.pbl|d.pbl\fe.pbl"), (Names{"a.pbl,b.pbl:c.pbl|d.pbl\fe.pbl"}));
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

TEST(LibraryListForm, OnlyALibraryExtensionInAnyCaseNamesOneLibrary) {
    for (const char* path : {"a.pbl", "C:\\App\\APP.PBD", "x.Dll", ".pbl", "dir.pbl\\lib.pbd"}) {
        EXPECT_TRUE(NamesOneLibrary(path)) << path;
    }
    for (const char* path : {"", "pbl", "a.pbl;", "a.pbl ", "list.txt", "a.pbl.txt", "a.pb", "a.dll\r\n", "apbl"}) {
        EXPECT_FALSE(NamesOneLibrary(path)) << path;
    }
}

TEST(LibraryListFolder, AFullPathsRootKeepsItsBackslashAndARelativeItemGivesNone) {
    EXPECT_EQ(FolderOfFirstLibrary("c:\\a.pbl;D:\\b.pbd"), "c:\\");
    EXPECT_EQ(FolderOfFirstLibrary("\\\\srv\\share\\a.pbl"), "\\\\srv\\share\\");
    for (const char* list : {"C:a.pbl", "\\a.pbl", "\\\\srv\\a.pbl"}) EXPECT_EQ(FolderOfFirstLibrary(list), "") << list;
}

TEST(LibraryListFileSize, AnythingAbove64MiBIsTooLarge) {
    EXPECT_FALSE(LibraryListFileTooLarge(0));
    EXPECT_FALSE(LibraryListFileTooLarge(64ull * 1024 * 1024));
    EXPECT_TRUE(LibraryListFileTooLarge(64ull * 1024 * 1024 + 1));
    EXPECT_TRUE(LibraryListFileTooLarge(0x100000005ull));
}

}  // namespace
