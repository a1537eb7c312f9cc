// INI files that are damaged, huge, oddly encoded or oddly written.  Each run must exit
// with 0 and either install exactly what a well-formed reading of the file gives, or
// print its refusal and leave no trace: no service, no service key, no event source.
//
// The reading is Windows' private-profile reader (GetPrivateProfileStringA); where Wine's
// reader is known to differ from Windows', or Windows' is not known, the test says so
// and asserts Wine's outcome only under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"

namespace {

using kit::RunProduct;

class IniInput : public ::testing::Test {
protected:
    kit::RunResult InstallFrom(const std::string& content) {
        EXPECT_TRUE(kit::WriteWholeFile(dir_ / "install.ini", content));
        return RunProduct({"-i", "install.ini"}, dir_.path());
    }
    std::string Head(const std::string& name) const {
        return "[Install]\r\nServiceName=" + name + "\r\nDisplayName=" + name + " display\r\n";
    }
    static std::string Installed(const std::string& name) {
        return "Install service '" + name + "' successful!\r\n";
    }
    static std::string Stored(const std::string& name, const std::string& value) {
        return kit::StringData(kit::ReadRegValue(kit::ServiceKey(name), value));
    }
    static void ExpectNothingOf(const std::string& name) {
        EXPECT_FALSE(kit::ReadServiceConfig(name).exists) << name;
        EXPECT_FALSE(kit::RegKeyExists(kit::ServiceKey(name))) << name;
        EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(name))) << name;
    }
    kit::TempDir dir_{"pbvminiin"};
};

// Deterministic bytes: the same "garbage" on every run.
std::string Garbage(size_t size, bool withZeros) {
    std::string bytes;
    unsigned state = 12345;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        const char c = static_cast<char>((state >> 16) & 0xFF);
        // A "[" would open a section of garbage, which is beside the point here.
        if (c == '[' || (!withZeros && c == '\0')) continue;
        bytes.push_back(c);
    }
    return bytes;
}

TEST_F(IniInput, GarbageWithoutASectionIsNotFound) {
    for (const bool withZeros : {false, true}) {
        SCOPED_TRACE(withZeros ? "with zero bytes" : "without zero bytes");
        const kit::RunResult r = InstallFrom(Garbage(64 * 1024, withZeros));
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "The .ini file was not found!\r\n");
    }
}

TEST_F(IniInput, GarbageBeforeTheSectionIsSkipped) {
    // Lines before the first section belong to no section.  The garbage holds no zero
    // byte: whether a reader goes on after one differs (see ZeroByteEndsTheText).
    kit::ServiceCleanup service(kit::UniqueName("PbvmIniGarbage"));
    const kit::RunResult r = InstallFrom(Garbage(64 * 1024, false) + "\r\n" + Head(service.name()) +
                                         "PBAppName=app\r\n");
    EXPECT_EQ(r.output, Installed(service.name()) + "Update PBAppName successful!\r\n");
    EXPECT_EQ(Stored(service.name(), "PBAppName"), "app");
}

TEST_F(IniInput, TenMiBFileInstallsFromItsSectionWhereverItIs) {
    // 10 MiB of other sections and comments, before or after [Install].
    std::string bulk;
    for (int i = 0; bulk.size() < 10u * 1024 * 1024; ++i) {
        bulk += "[Bulk" + std::to_string(i) + "]\r\n; " + std::string(200, 'c') + "\r\nKey=" +
                std::string(300, 'v') + "\r\n";
    }
    for (const bool sectionFirst : {true, false}) {
        SCOPED_TRACE(sectionFirst ? "section first" : "section last");
        kit::ServiceCleanup service(kit::UniqueName("PbvmIniBig"));
        const std::string section = Head(service.name()) + "PBObjName=n_big\r\n";
        const kit::RunResult r = InstallFrom(sectionFirst ? section + bulk : bulk + section);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, Installed(service.name()) + "Update PBObjName successful!\r\n");
        EXPECT_EQ(Stored(service.name(), "PBObjName"), "n_big");
    }
}

TEST_F(IniInput, TenMiBValueIsRefusedWholeAndInstallsNothing) {
    const std::string name = kit::UniqueName("PbvmIniHuge");
    const kit::RunResult r = InstallFrom("[Install]\r\nServiceName=" + name + "\r\nDisplayName=d\r\nPBLibList=" +
                                         std::string(10u * 1024 * 1024, 'h') + "\r\n");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "The value for PBLibList is too long (at most 2047 characters)!\r\n");
    ExpectNothingOf(name);
}

TEST_F(IniInput, TenThousandSectionsAndTheInstallSectionLast) {
    kit::ServiceCleanup service(kit::UniqueName("PbvmIniMany"));
    std::string text;
    for (int i = 0; i < 10000; ++i) text += "[Section" + std::to_string(i) + "]\r\nServiceName=wrong" + std::to_string(i) + "\r\n";
    const kit::RunResult r = InstallFrom(text + Head(service.name()));
    EXPECT_EQ(r.output, Installed(service.name()));
    EXPECT_EQ(kit::ReadServiceConfig(service.name()).displayName, service.name() + " display");
}

TEST_F(IniInput, FirstOfADuplicateKeyCounts) {
    kit::ServiceCleanup first(kit::UniqueName("PbvmIniFirst"));
    const std::string second = kit::UniqueName("PbvmIniSecond");
    const kit::RunResult r = InstallFrom("[Install]\r\nServiceName=" + first.name() + "\r\nServiceName=" + second +
                                         "\r\nDisplayName=one\r\nPBAppName=app1\r\nDisplayName=two\r\n"
                                         "PBAppName=app2\r\n");
    EXPECT_EQ(r.output, Installed(first.name()) + "Update PBAppName successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(first.name()).displayName, "one");
    EXPECT_EQ(Stored(first.name(), "PBAppName"), "app1");
    ExpectNothingOf(second);
}

TEST_F(IniInput, LinesWithoutAnEqualsSign) {
    // A line without "=" that names no key of ours is ignored.
    kit::ServiceCleanup service(kit::UniqueName("PbvmIniNoEq"));
    kit::RunResult r = InstallFrom(Head(service.name()) + "just some words\r\nPBAppName\r\nPBObjName=n_svc\r\n");
    // "PBAppName" alone has no value, so none is written.
    EXPECT_EQ(r.output, Installed(service.name()) + "Update PBObjName successful!\r\n");
    EXPECT_FALSE(kit::ReadRegValue(kit::ServiceKey(service.name()), "PBAppName").exists);

    // A key without "=" before the same key with one: Wine's reader takes the bare line as
    // the key with an empty value, and the first of a duplicate key counts, so the name is
    // not found.  (Windows' reader is not known to do otherwise; whichever of the two it
    // takes, the product prints the matching line and installs nothing else.)
    const std::string name = kit::UniqueName("PbvmIniBare");
    kit::ServiceCleanup bare(name);
    r = InstallFrom("[Install]\r\nServiceName\r\nServiceName=" + name + "\r\nDisplayName=d\r\n");
    if (kit::RunningUnderWine()) {
        EXPECT_EQ(r.output, "The required value ServiceName was not found!\r\n");
        ExpectNothingOf(name);
    } else {
        EXPECT_TRUE(r.output == "The required value ServiceName was not found!\r\n" || r.output == Installed(name))
            << r.output;
    }
}

TEST_F(IniInput, Utf16FileWithAByteOrderMarkIsReadAsText) {
    // Windows reads a UTF-16 (little-endian) profile that starts with its byte order mark
    // and hands the values to the ANSI call in the ANSI code page; Wine 8 does the same.
    kit::ServiceCleanup service(kit::UniqueName("PbvmIniUtf16"));
    const std::string text = Head(service.name()) + "Description=Caf\xe9 nightly\r\nPBAppName=app\r\n";
    std::string utf16 = "\xff\xfe";
    for (char c : text) {
        // Every byte of the text is Latin-1, which is its own UTF-16 code unit.
        utf16 += c;
        utf16 += '\0';
    }
    const kit::RunResult r = InstallFrom(utf16);
    EXPECT_EQ(r.output, Installed(service.name()) + "Update Description successful!\r\nUpdate PBAppName successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(service.name()).description, "Caf\xe9 nightly");
    EXPECT_EQ(Stored(service.name(), "PBAppName"), "app");
}

TEST_F(IniInput, Utf8ByteOrderMark) {
    // Wine skips a UTF-8 byte order mark.  Windows' ANSI reader is not known to: there the
    // mark may become part of the first section's name, which then is not [Install].
    kit::ServiceCleanup service(kit::UniqueName("PbvmIniUtf8"));
    const kit::RunResult r = InstallFrom("\xef\xbb\xbf" + Head(service.name()));
    if (kit::RunningUnderWine()) {
        EXPECT_EQ(r.output, Installed(service.name()));
    } else {
        EXPECT_TRUE(r.output == Installed(service.name()) ||
                    r.output == "The required value ServiceName was not found!\r\n")
            << r.output;
    }
}

TEST_F(IniInput, ZeroByteEndsTheValueOfItsLine) {
    // Wine's reader ends a value at a zero byte and goes on with the next line.  Windows'
    // is not known to do the same; there at least the installation itself goes through.
    kit::ServiceCleanup service(kit::UniqueName("PbvmIniZero"));
    const kit::RunResult r = InstallFrom(Head(service.name()) + "PBObjName=n_svc" + std::string(1, '\0') +
                                         "tail\r\nPBAppName=app\r\n");
    if (kit::RunningUnderWine()) {
        EXPECT_EQ(r.output, Installed(service.name()) +
                                "Update PBAppName successful!\r\nUpdate PBObjName successful!\r\n");
        EXPECT_EQ(Stored(service.name(), "PBObjName"), "n_svc");
        EXPECT_EQ(Stored(service.name(), "PBAppName"), "app");
    } else {
        EXPECT_EQ(r.output.substr(0, Installed(service.name()).size()), Installed(service.name()));
    }
}

TEST_F(IniInput, ServiceNameThatIsAPathIsRefusedByTheManagerAndLeavesNothing) {
    const std::string folder = kit::UniqueName("PbvmIniPath");
    for (const std::string& name : {folder + "\\sub", folder + "/sub", "..\\" + folder}) {
        SCOPED_TRACE(name);
        const kit::RunResult r = InstallFrom("[Install]\r\nServiceName=" + name +
                                             "\r\nDisplayName=d\r\nDescription=x\r\nPBAppName=app\r\n");
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "Install service '" + name + "' failed:\r\nError# 123 - " +
                                kit::SystemErrorText(123) + "\r\n");
        ExpectNothingOf(name);
        ExpectNothingOf(folder);
    }
}

TEST_F(IniInput, ServiceNameWithBlanksOrQuotesGetsAnImagePathThatGivesItBack) {
    struct Case {
        std::string suffix;
        std::string quoted;  // the name as the image path must carry it, after the prefix
    } cases[] = {{" with blank", " with blank\""}, {"\"quoted\"", "\\\"quoted\\\"\""}};
    for (const Case& c : cases) {
        const std::string prefix = kit::UniqueName("PbvmIniName");
        kit::ServiceCleanup service(prefix + c.suffix);
        SCOPED_TRACE(service.name());
        const kit::RunResult r = InstallFrom(Head(service.name()));
        EXPECT_EQ(r.output, Installed(service.name()));
        EXPECT_EQ(kit::ReadServiceConfig(service.name()).imagePath,
                  kit::QuoteArgument(kit::ProductPath()) + " -r \"" + prefix + c.quoted);
    }
}

TEST_F(IniInput, LongestValuesTheLookupReturnsAndKeysThatAreNotRead) {
    kit::ServiceCleanup service(kit::UniqueName("PbvmIniEdge"));
    // 2047 characters: the longest value one lookup returns, and the longest PBLibList.
    const std::string list = std::string(2046, 'l') + ";";
    // Userid is read only when Domain is given: its length does not matter without one.
    const kit::RunResult r = InstallFrom(Head(service.name()) + "PBLibList=" + list + "\r\nUserid=" +
                                         std::string(5000, 'u') + "\r\nPassword=" + std::string(5000, 'p') +
                                         "\r\n");
    EXPECT_EQ(r.output, Installed(service.name()) + "Update PBLibList successful!\r\n");
    EXPECT_EQ(Stored(service.name(), "PBLibList"), list);
    EXPECT_EQ(kit::ReadServiceConfig(service.name()).account, "LocalSystem");
}

}  // namespace
