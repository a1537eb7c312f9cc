// The plain-text log file: one message per line, appended, never lost to a reader.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/service_settings.h"
#include "diag/hang_dump.h"
#include "diag/log_file.h"
#include "kit/files.h"
#include "kit/product.h"
#include "kit/services.h"

namespace {

class LogFile : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServiceSettings();
        ASSERT_TRUE(CopyToField(ServiceSettings.LogFileName, path_.c_str()));
    }
    kit::TempDir dir_{"pbvmlog"};
    std::string path_ = dir_ / "service.log";
};

TEST_F(LogFile, FirstLineCreatesTheFileAndLaterLinesAppend) {
    WriteLogLine("Before CreateSession");
    EXPECT_EQ(kit::ReadWholeFile(path_), "Before CreateSession\r\n");
    WriteLogLine("After CreateSession");
    WriteLogLine("");
    EXPECT_EQ(kit::ReadWholeFile(path_), "Before CreateSession\r\nAfter CreateSession\r\n\r\n");
}

TEST_F(LogFile, LinesOfEarlierRunsAreKept) {
    ASSERT_TRUE(kit::WriteWholeFile(path_, "from an earlier run\r\n"));
    WriteLogLine("Library Count: 2");
    EXPECT_EQ(kit::ReadWholeFile(path_), "from an earlier run\r\nLibrary Count: 2\r\n");
}

TEST_F(LogFile, MessageIsWrittenAsGivenWithNothingEscaped) {
    WriteLogLine("a.pbl\r\nb.pbl;%s \"q\" \xe9");
    EXPECT_EQ(kit::ReadWholeFile(path_), "a.pbl\r\nb.pbl;%s \"q\" \xe9\r\n");
}

TEST_F(LogFile, NoFileNameOrNoFolderLosesTheLineQuietly) {
    ServiceSettings.LogFileName[0] = '\0';
    WriteLogLine("nowhere");
    CopyToField(ServiceSettings.LogFileName, (dir_ / "missing\\service.log").c_str());
    WriteLogLine("nowhere either");
    EXPECT_FALSE(kit::FileExists(dir_ / "missing"));
    EXPECT_FALSE(kit::FileExists(path_));
}

TEST_F(LogFile, AReaderHoldingTheFileOpenLosesNoLine) {
    WriteLogLine("first");
    // A viewer opens the log for reading and lets others read and write.
    HANDLE viewer = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    WriteLogLine("second");
    WriteLogLine("third");
    char buffer[64] = {0};
    DWORD got = 0;
    ReadFile(viewer, buffer, sizeof buffer - 1, &got, nullptr);
    CloseHandle(viewer);
    EXPECT_EQ(std::string(buffer, got), "first\r\nsecond\r\nthird\r\n");
    EXPECT_EQ(kit::ReadWholeFile(path_), "first\r\nsecond\r\nthird\r\n");
}

// Under Wine 8 an append is a write at a size Wine looked up itself, so two processes
// appending at once would overwrite each other's lines; the writers' named mutex makes
// them take turns.  Windows appends atomically, mutex or not.
TEST_F(LogFile, TwoProcessesAppendingAtOnceWriteOnlyWholeLines) {
    const std::string helper = kit::TestProgramDirectory() + "\\log_writer.exe";
    const int count = 10000;
    HANDLE processes[2];
    for (int k = 0; k < 2; ++k) {
        std::string commandLine = "\"" + helper + "\" \"" + path_ + "\" " + std::to_string(count) +
                                  (k == 0 ? " A" : " B");
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessA(helper.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &process));
        CloseHandle(process.hThread);
        processes[k] = process.hProcess;
    }
    WaitForMultipleObjects(2, processes, TRUE, 120000);
    CloseHandle(processes[0]);
    CloseHandle(processes[1]);

    const size_t kLineLength =
        std::string("A 000000 the quick brown fox jumps over the lazy dog\r").size();
    std::istringstream lines(kit::ReadWholeFile(path_));
    std::set<std::string> seen;
    std::string line;
    while (std::getline(lines, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        ASSERT_EQ(line.size(), kLineLength) << "torn line: " << line;
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), 2u * count);
}

// The dump of a hang goes beside the log, named after the service (with what no file name
// may hold replaced) and the time; of the service's dumps the five newest stay.
TEST_F(LogFile, HangDumpGoesBesideTheLogAndTheFiveNewestStay) {
    ASSERT_TRUE(CopyToField(ServiceSettings.ServiceName, "Pay:roll?"));
    std::vector<std::string> others = {"Pay_roll_-notes.dmp", "Pay_roll_-20200101-000000.dmp.txt",
                                       "Pay_roll_-x-20200101-000000.dmp", "Other-20200101-000000.dmp"};
    for (int i = 1; i <= 6; ++i) others.push_back("Pay_roll_-20200101-00000" + std::to_string(i) + ".dmp");
    for (const std::string& name : others) ASSERT_TRUE(kit::WriteWholeFile(dir_ / name, "old"));
    WriteHangDump();

    const std::vector<std::string> dumps = kit::ListFiles(dir_.path(), "Pay_roll_-2*.dmp");
    ASSERT_EQ(dumps.size(), 5u);
    const std::string written = dumps.back();
    EXPECT_EQ(dumps, (std::vector<std::string>{"Pay_roll_-20200101-000003.dmp", "Pay_roll_-20200101-000004.dmp",
                                               "Pay_roll_-20200101-000005.dmp", "Pay_roll_-20200101-000006.dmp",
                                               written}));
    EXPECT_EQ(kit::ReadWholeFile(path_), "Memory dump written to " + (dir_ / written) + "\r\n");
    EXPECT_EQ(kit::ReadWholeFile(dir_ / written).substr(0, 4), "MDMP");
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(kit::FileExists(dir_ / others[static_cast<size_t>(i)])) << others[i];
}

}  // namespace
