// The resources linked into pbvmsvc.exe: the message table the event viewer uses, the
// manifest, the version and the icon.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/product.h"
#include "version.h"

namespace {

class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(kit::ProductPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }
    std::string Resource(LPCSTR type, WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)) {
        HRSRC found = FindResourceExA(module_, type, MAKEINTRESOURCEA(1), language);
        if (found == nullptr) return std::string();
        HGLOBAL loaded = LoadResource(module_, found);
        return std::string(static_cast<const char*>(LockResource(loaded)),
                           SizeofResource(module_, found));
    }
    HMODULE module_ = nullptr;
};

TEST_F(Resources, MessageTableShowsTheInsertionStringForEachKind) {
    for (DWORD id : {0x40000001UL, 0x80000002UL, 0xC0000003UL}) {
        char text[64] = {0};
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module_,
                           id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text,
                           nullptr);
        EXPECT_EQ(std::string(text, length), "%1!S!\r\n") << std::hex << id;
    }
    char text[64];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module_,
                             0x40000004UL, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                             sizeof text, nullptr),
              0u);
}

TEST_F(Resources, MessageTableHoldsThreeUnicodeBlocksInOrder) {
    const std::string table = Resource(RT_MESSAGETABLE, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_GE(table.size(), 4u + 3 * 12);
    const auto* data = reinterpret_cast<const MESSAGE_RESOURCE_DATA*>(table.data());
    ASSERT_EQ(data->NumberOfBlocks, 3u);
    const DWORD expectedIds[] = {0x40000001UL, 0x80000002UL, 0xC0000003UL};
    for (DWORD b = 0; b < 3; ++b) {
        const MESSAGE_RESOURCE_BLOCK& block = data->Blocks[b];
        EXPECT_EQ(block.LowId, expectedIds[b]);
        EXPECT_EQ(block.HighId, expectedIds[b]);
        const auto* entry = reinterpret_cast<const MESSAGE_RESOURCE_ENTRY*>(table.data() +
                                                                             block.OffsetToEntries);
        EXPECT_EQ(entry->Flags, 1u) << "Unicode entry";
        const wchar_t* text = reinterpret_cast<const wchar_t*>(entry->Text);
        EXPECT_EQ(std::wstring(text), L"%1!S!\r\n");
    }
}

TEST_F(Resources, ManifestAsksForAdministratorWithoutUiAccess) {
    const std::string manifest = Resource(MAKEINTRESOURCEA(24));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos) << manifest;
}

TEST_F(Resources, VersionResourceMatchesTheUsageText) {
    const std::string path = kit::ProductPath();
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    char* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, PBVMSVC_VERSION_STRING);
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), PBVMSVC_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), PBVMSVC_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), PBVMSVC_VERSION_PATCH);

    const std::string usage = kit::RunProduct({}).output;
    EXPECT_NE(usage.find(std::string("version ") + PBVMSVC_VERSION_STRING + " "), std::string::npos);
}

TEST_F(Resources, IconGroupHoldsSeveralSizes) {
    const std::string group = Resource(RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    EXPECT_GE(count, 3);
}

}  // namespace
