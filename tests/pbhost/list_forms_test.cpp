// Where the library list comes from (the value itself, or the file it names), and what
// the log and the VM get from it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/service_settings.h"
#include "pbhost/host_environment.h"
#include "pbhost/host_state.h"
#include "pbhost/vm_startup.h"

namespace pbhost_test {
namespace {

class ListForms : public HostEnvironment {
protected:
    // Starts over libraries in which the stand-in finds no class, so the start gets as far
    // as FindGroup; checks the log and the names the VM got.
    void ExpectNamesReachTheVm(const std::string& form, const Lines& names) {
        ExpectStartFails(ListLog(form, names) + "After CreateSession\r\nFunction FindGroup failed\r\n",
                         "Function FindGroup failed");
        std::string line = "CreateSession \"pbhostapp\" " + std::to_string(names.size());
        for (const std::string& name : names) line += " " + Q(name);
        EXPECT_EQ(Journal({"CreateSession"}), Lines{line + " -> 0 #1"});
    }
};

TEST_F(ListForms, RegistryFormWithTwoNames) {
    const std::string a = WriteFile("a.pbl", "class other\r\n");
    const std::string b = WriteFile("b.pbl", HostedClass());
    SetLibraryList(a + ";" + b);
    EXPECT_EQ(StartPowerBuilderHost(), 0u);
    EXPECT_EQ(Log(), ListLog("Registry", {a, b}) + "After CreateSession\r\nPBNI Interface Initialized\r\n");
    EXPECT_EQ(Journal({"CreateSession"}), Lines{"CreateSession \"pbhostapp\" 2 " + Q(a) + " " + Q(b) + " -> 0 #1"});
    EXPECT_EQ(Events(1), Lines{kInformation + "PBNI Interface Initialized"});
    // The names stay in the work copy, cut at the separator, for the rest of the process.
    EXPECT_EQ(std::string(ServiceSettings.LibListWork, a.size() + b.size() + 2), a + '\0' + b + '\0');
}

TEST_F(ListForms, DoubledAndTrailingSeparatorsYieldNoNames) {
    SetLibraryList(";" + (dir_ / "a.pbl") + ";;" + (dir_ / "b.pbl") + ";");
    ExpectNamesReachTheVm("Registry", {dir_ / "a.pbl", dir_ / "b.pbl"});
}

TEST_F(ListForms, ValueNamingALibraryIsAOneNameListAndAnyOtherFileIsAListFile) {
    for (const char* name : {"app.pbl", "APP.PBD", "App.Dll"}) {
        SCOPED_TRACE(name);
        Restart();
        const std::string library = WriteFile(name, HostedClass());
        SetLibraryList(library);
        EXPECT_EQ(StartPowerBuilderHost(), 0u);
        EXPECT_EQ(Log(), ListLog("Registry", {library}) + "After CreateSession\r\nPBNI Interface Initialized\r\n");
        EXPECT_EQ(Journal({"CreateSession"}), Lines{"CreateSession \"pbhostapp\" 1 " + Q(library) + " -> 0 #1"});
    }
    Restart();
    SetLibraryList(WriteFile("app.pbl.txt", "a.pbl\r\nb.pbd\r\n"));
    ExpectNamesReachTheVm("File", {"a.pbl", "b.pbd"});
}

TEST_F(ListForms, ValueNamingADirectoryIsTheListItself) {
    SetLibraryList(dir_.path());
    ExpectNamesReachTheVm("Registry", {dir_.path()});
}

TEST_F(ListForms, LineEndsSeparateLikeSemicolonsAndAListFileEndsAtItsFirstZero) {
    const std::string list = "a.pbl;\r\nb.pbl\r\n\r\nc d.pbl\n" + std::string(1, '\0') + ";e.pbl";
    SetLibraryList(WriteFile("list.txt", list));
    ExpectNamesReachTheVm("File", {"a.pbl", "b.pbl", "c d.pbl"});

    Restart();
    SetLibraryList(" x.pbl\ry.pbl\n;z.pbl");
    ExpectNamesReachTheVm("Registry", {" x.pbl", "y.pbl", "z.pbl"});
}

TEST_F(ListForms, EmptyListsGiveCountZero) {
    for (const std::string value : {"", ";", ";;;"}) {
        for (const std::string& setting : {value, WriteFile("list.txt", value)}) {
            SCOPED_TRACE("\"" + value + "\" in " + (setting == value ? "the value" : "a file"));
            Restart();
            SetLibraryList(setting);
            ExpectNamesReachTheVm(setting == value ? "Registry" : "File", {});
        }
    }
}

TEST_F(ListForms, LongNamesAreLoggedWhole) {
    const std::string name300 = std::string(300, 'n') + ".pbl";
    const std::string name1000 = std::string(1000, 'x');
    SetLibraryList(WriteFile("list.txt", name300 + ";" + name1000));
    ExpectNamesReachTheVm("File", {name300, name1000});

    Restart();
    const std::string longest(2047, 'r');  // the longest value the registry form holds
    SetLibraryList(longest);
    ExpectNamesReachTheVm("Registry", {longest});
}

// The folder the application sees (the VM journals it) and a relative log goes to:
// PBWorkDir, else the first library's folder when it is a full path, else the one it was.
TEST_F(ListForms, TheWorkingFolderIsPBWorkDirOrTheFullFirstLibrarysFolder) {
    const std::string lib = dir_ / "lib", was = dir_.path();
    ASSERT_TRUE(CreateDirectoryA(lib.c_str(), nullptr));
    const std::string cases[][3] = {  // PBWorkDir, PBLibList, the folder
        {lib, dir_ / "a.pbl", lib}, {"", lib + "\\a.pbl;" + was, lib}, {"", lib + "\\a.pbl\r\nb.pbl", lib},
        {"", WriteFile("lib\\list.txt", "a.pbl"), lib}, {"", "a.pbl;" + lib + "\\b.pbl", was}};
    for (const auto& c : cases) {
        Restart();
        WriteVmSettings("record_folder = yes\r\n");
        ASSERT_TRUE(SetCurrentDirectoryA(was.c_str()) && CopyToField(ServiceSettings.PBWorkDir, c[0].c_str()));
        ASSERT_TRUE(CopyToField(ServiceSettings.LogFileName, "app.log"));
        SetLibraryList(c[1]);
        StartPowerBuilderHost();
        EXPECT_EQ(Journal({"folder"}), Lines{"folder " + Q(c[2])});
        EXPECT_EQ(kit::ReadWholeFile(c[2] + "\\app.log").substr(0, 14), "LibList: From ");
        DeleteFileA((c[2] + "\\app.log").c_str());
    }
}

TEST_F(ListForms, SwitchOffWritesNoInitializedLineOrEvent) {
    UseLibrary();
    ASSERT_TRUE(CopyToField(ServiceSettings.EventLog, "True"));
    EXPECT_EQ(StartPowerBuilderHost(), 0u);
    EXPECT_EQ(Log(), ListLog("Registry", {libraryPath_}) + "After CreateSession\r\n");
    EXPECT_EQ(Journal(), StandardStartJournal());
    EXPECT_EQ(Events(0), Lines{});
}

}  // namespace
}  // namespace pbhost_test
