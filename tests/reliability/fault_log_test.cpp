// The log writers' turns at one log file: a lock on one byte of the file, held around
// each write.  A writer waits for the holder, whatever path the holder named the file
// by, goes on when the holder died, and never waits without end.  (Two processes appending 10,000 lines each at once: the
// LogFile tests of diag_test.)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/service_settings.h"
#include "diag/log_file.h"
#include "kit/files.h"

namespace reliability_test {
namespace {

// Opens the log file the way a writer does, by the given path.
HANDLE OpenLog(const std::string& path) {
    return CreateFileA(path.c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

OVERLAPPED TurnRegion() {
    OVERLAPPED region = {};
    region.Offset = kLogTurnOffsetLow;
    region.OffsetHigh = kLogTurnOffsetHigh;
    return region;
}

// Another writer that holds the turn until told to let go (or ends holding it).
class Holder {
public:
    Holder(const std::string& path, bool dieHolding) : path_(path), dieHolding_(dieHolding) {
        held_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &Holder::Run, this, 0, nullptr);
    }
    ~Holder() {
        Release();
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        CloseHandle(held_);
        CloseHandle(release_);
    }
    bool WaitHeld() const { return WaitForSingleObject(held_, 10000) == WAIT_OBJECT_0; }
    bool WaitEnded() const { return WaitForSingleObject(thread_, 10000) == WAIT_OBJECT_0; }
    void Release() const { SetEvent(release_); }

private:
    static DWORD WINAPI Run(void* self) {
        Holder& holder = *static_cast<Holder*>(self);
        HANDLE file = OpenLog(holder.path_);
        OVERLAPPED region = TurnRegion();
        if (file == INVALID_HANDLE_VALUE || !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region)) {
            return 1;
        }
        SetEvent(holder.held_);
        if (!holder.dieHolding_) {
            WaitForSingleObject(holder.release_, 60000);
            UnlockFileEx(file, 0, 1, 0, &region);
        }
        CloseHandle(file);  // a writer that ends holding the turn loses it with its handle
        return 0;
    }
    std::string path_;
    bool dieHolding_;
    HANDLE held_ = nullptr;
    HANDLE release_ = nullptr;
    HANDLE thread_ = nullptr;
};

// WriteLogLine on a thread of its own, so that the test can watch it wait.
class Writer {
public:
    explicit Writer(const char* text) : text_(text) {
        thread_ = CreateThread(nullptr, 0, &Writer::Run, this, 0, nullptr);
    }
    ~Writer() {
        WaitForSingleObject(thread_, 30000);
        CloseHandle(thread_);
    }
    bool WaitDone(unsigned timeoutMs) const { return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI Run(void* self) {
        WriteLogLine(static_cast<Writer*>(self)->text_);
        return 0;
    }
    const char* text_;
    HANDLE thread_ = nullptr;
};

class FaultLog : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServiceSettings();
        ASSERT_TRUE(CopyToField(ServiceSettings.LogFileName, path_.c_str()));
    }
    kit::TempDir dir_{"pbvmlock"};
    std::string path_ = dir_ / "service.log";
};

TEST_F(FaultLog, TheTurnBelongsToTheFileHoweverItIsNamed) {
    std::string upper = path_;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const std::string dotted = dir_ / "sub\\..\\SERVICE.LOG";
    for (const std::string& spelling : {upper, dotted}) {
        Holder holder(spelling, false);
        ASSERT_TRUE(holder.WaitHeld());
        Writer writer("line");
        EXPECT_FALSE(writer.WaitDone(300)) << spelling;
        holder.Release();
        ASSERT_TRUE(writer.WaitDone(10000));
    }
    EXPECT_EQ(kit::ReadWholeFile(path_), "line\r\nline\r\n");

    // Another file's turn is another turn.
    Holder other(dir_ / "other.log", false);
    ASSERT_TRUE(other.WaitHeld());
    Writer writer("not held up");
    EXPECT_TRUE(writer.WaitDone(4000)) << "well before the 5 s a held turn would cost";
    other.Release();
}

TEST_F(FaultLog, AWriterWaitsForTheTurnOfAnotherWriter) {
    Holder holder(path_, false);
    ASSERT_TRUE(holder.WaitHeld());
    Writer writer("waited for its turn");
    EXPECT_FALSE(writer.WaitDone(300)) << "the write waits while another writer has its turn";
    EXPECT_EQ(kit::ReadWholeFile(path_), "");
    holder.Release();
    ASSERT_TRUE(writer.WaitDone(10000));
    EXPECT_EQ(kit::ReadWholeFile(path_), "waited for its turn\r\n");
}

TEST_F(FaultLog, AWriterThatEndedHoldingTheTurnDoesNotHoldUpTheOthers) {
    Holder holder(path_, true);
    ASSERT_TRUE(holder.WaitHeld());
    ASSERT_TRUE(holder.WaitEnded());
    const DWORD start = GetTickCount();
    WriteLogLine("after the dead writer");
    WriteLogLine("and again");
    EXPECT_LT(GetTickCount() - start, 4000u) << "the turn went with the holder's handle, no 5 s wait";
    EXPECT_EQ(kit::ReadWholeFile(path_), "after the dead writer\r\nand again\r\n");
}

TEST_F(FaultLog, AWriterNeverWaitsWithoutEnd) {
    Holder holder(path_, false);
    ASSERT_TRUE(holder.WaitHeld());
    Writer writer("written all the same");
    // The writer gives up waiting after 5 s and writes; the bound is generous.
    ASSERT_TRUE(writer.WaitDone(20000)) << "a diagnostic must not block its caller";
    EXPECT_EQ(kit::ReadWholeFile(path_), "written all the same\r\n");
    holder.Release();
}

}  // namespace
}  // namespace reliability_test
