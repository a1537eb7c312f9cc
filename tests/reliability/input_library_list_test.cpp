// Library lists of awkward sizes and contents, through the host's start-up against the
// stand-in VM, in process.  (The everyday forms, empty lists, CR LF, zero bytes after
// the text, directories, files that cannot be opened and the 64 MiB limit are in
// tests/pbhost; these are the sizes beyond them.)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/service_settings.h"
#include "pbhost/host_environment.h"
#include "pbhost/host_state.h"
#include "pbhost/vm_startup.h"

namespace pbhost_test {
namespace {

class LibraryListInput : public HostEnvironment {
protected:
    // The journal's CreateSession line, split into its fields after the operation.
    Lines SessionFields() const {
        const Lines lines = Journal({"CreateSession"});
        if (lines.size() != 1) return {};
        Lines fields;
        size_t start = 0;
        const std::string& line = lines[0];
        while (start < line.size()) {
            size_t end = line.find(' ', start);
            if (end == std::string::npos) end = line.size();
            fields.push_back(line.substr(start, end - start));
            start = end + 1;
        }
        return fields;
    }
};

// The number of names in the big list file.  Each name costs the start-up a log line and
// the stand-in VM a file look-up and a journal line, some 0.2 ms together under Wine, so
// the everyday run takes 10,000; the full size is
//   PBVMSVC_INPUT_LIBRARY_NAMES=100000 ./scripts/test.sh -R LibraryListInput
// (some 30 to 40 s under Wine).
size_t BigListCount() {
    char text[32] = {0};
    if (GetEnvironmentVariableA("PBVMSVC_INPUT_LIBRARY_NAMES", text, sizeof text) == 0) return 10000;
    return std::stoul(text);
}

TEST_F(LibraryListInput, TensOfThousandsOfNamesInAListFile) {
    // Every name but the first names no file; the VM journals each and reads the class
    // from the first.  (A real list names a few dozen libraries: this is only about size.)
    const size_t count = BigListCount();
    ASSERT_GE(count, 2u);
    const std::string library = WriteFile("app.pbl", HostedClass());
    Lines names = {library};
    std::string list = library;
    for (size_t i = 1; i < count; ++i) {
        names.push_back("lib" + std::to_string(i) + ".pbd");
        list += ";" + names.back();
    }
    SetLibraryList(WriteFile("list.txt", list));
    EXPECT_EQ(StartPowerBuilderHost(), 0u);
    EXPECT_EQ(Log(), ListLog("File", names) + "After CreateSession\r\nPBNI Interface Initialized\r\n");
    const Lines session = SessionFields();
    ASSERT_GE(session.size(), 3u);
    EXPECT_EQ(session[2], std::to_string(count));
    EXPECT_EQ(session[3], Q(library));
    EXPECT_EQ(session[session.size() - 4], Q(names.back()));
    EXPECT_EQ(Journal({"library"}).size(), count);
    EXPECT_EQ(Events(1), Lines{kInformation + "PBNI Interface Initialized"});
}

TEST_F(LibraryListInput, MoreNamesThanTheVmCanCountAreRefusedBeforeTheSession) {
    // The VM takes the count as 16 bits: 65,536 names would reach it as none.
    std::string list;
    for (int i = 0; i < 65536; ++i) list += "l\r\n";
    SetLibraryList(WriteFile("list.txt", list));
    ExpectStartFails("LibList: From File\r\nLibrary Count: 65536\r\nToo many libraries (at most 65535)\r\n",
                     "Too many libraries (at most 65535)");
    EXPECT_EQ(Journal({"CreateSession"}), Lines{});
}

TEST_F(LibraryListInput, NamesOfFiveThousandCharactersReachTheVmAndTheLogWhole) {
    const std::string library = WriteFile("app.pbl", HostedClass());
    const std::string longName = "C:\\" + std::string(4996, 'n') + ".pbd";
    const std::string longFolder = std::string(2500, 'd') + "\\" + std::string(2495, 'f') + ".pbl";
    ASSERT_EQ(longName.size(), 5003u);
    SetLibraryList(WriteFile("list.txt", longName + ";" + library + ";" + longFolder));
    EXPECT_EQ(StartPowerBuilderHost(), 0u);
    EXPECT_EQ(Log(), ListLog("File", {longName, library, longFolder}) +
                         "After CreateSession\r\nPBNI Interface Initialized\r\n");
    EXPECT_EQ(SessionFields(), (Lines{"CreateSession", "\"pbhostapp\"", "3", Q(longName), Q(library), Q(longFolder),
                                      "->", "0", "#1"}));
    // Names too long for a path are no libraries: the VM reads none of them.
    const Lines reads = Journal({"library"});
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[1], "library " + Q(library) + " -> 1");
}

TEST_F(LibraryListInput, LongestRegistryValueOfSeparatedNamesGives1024Names) {
    // 2047 characters, "a;" 1023 times and one "a": the most names the value can hold.
    std::string value;
    for (int i = 0; i < 1023; ++i) value += "a;";
    value += "a";
    ASSERT_EQ(value.size(), 2047u);
    SetLibraryList(value);
    ExpectStartFails(ListLog("Registry", Lines(1024, "a")) + "After CreateSession\r\nFunction FindGroup failed\r\n",
                     "Function FindGroup failed");
    const Lines session = SessionFields();
    ASSERT_GE(session.size(), 3u);
    EXPECT_EQ(session[2], "1024");
}

TEST_F(LibraryListInput, ZeroByteFirstOrSeparatorsOnlyInAFileGiveNoName) {
    for (const std::string& text : {std::string("\0a.pbl;b.pbl", 12), std::string(100000, ';'),
                                    std::string(";\0;", 3)}) {
        SCOPED_TRACE(text.size());
        Restart();
        SetLibraryList(WriteFile("list.txt", text));
        ExpectStartFails(ListLog("File", {}) + "After CreateSession\r\nFunction FindGroup failed\r\n",
                         "Function FindGroup failed");
        EXPECT_EQ(Journal({"CreateSession"}), Lines{"CreateSession \"pbhostapp\" 0 -> 0 #1"});
    }
}

}  // namespace
}  // namespace pbhost_test
