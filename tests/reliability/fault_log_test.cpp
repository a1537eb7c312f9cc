// The log writers' turns at one log file: a named mutex of the file's own, held around
// each write.  A writer waits for the holder, takes over a mutex whose holder died, and
// never waits without end.  (Two processes appending 10,000 lines each at once: the
// LogFile tests of diag_test.)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "cli/settings.h"
#include "diag/log_file.h"
#include "kit/files.h"

namespace reliability_test {
namespace {

// Opens the writers' mutex the way the writer does: the global name, else the local one.
HANDLE OpenLogMutex(const std::string& path) {
    const std::string name = LogLockName(path.c_str());
    HANDLE mutex = CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str());
    if (mutex == nullptr) mutex = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    return mutex;
}

// Another writer that holds the mutex until told to let go (or dies holding it).
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
        HANDLE mutex = OpenLogMutex(holder.path_);
        if (mutex == nullptr || WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0) return 1;
        SetEvent(holder.held_);
        if (!holder.dieHolding_) {
            WaitForSingleObject(holder.release_, 60000);
            ReleaseMutex(mutex);
        }
        CloseHandle(mutex);  // a thread that ends owning the mutex abandons it
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

TEST_F(FaultLog, OneMutexNamePerFileHoweverItIsSpelled) {
    const std::string name = LogLockName(path_.c_str());
    EXPECT_EQ(name.compare(0, 12, "pbvmsvc-log-"), 0) << name;
    EXPECT_EQ(name.size(), 28u) << "a fixed length, however long the path";
    EXPECT_EQ(name.find('\\'), std::string::npos);

    std::string upper = path_;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(LogLockName(upper.c_str()), name) << "paths are compared without regard to case";

    char previous[MAX_PATH] = {0};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    const std::string relative = LogLockName("service.log");
    const std::string dotted = LogLockName(".\\sub\\..\\SERVICE.LOG");
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(relative, name) << "a relative name is the file its full path names";
    EXPECT_EQ(dotted, name);

    EXPECT_NE(LogLockName((dir_ / "other.log").c_str()), name);
    EXPECT_NE(LogLockName((path_ + "x").c_str()), name);
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

TEST_F(FaultLog, AWriterThatDiedHoldingTheTurnDoesNotStopTheOthers) {
    // A handle kept open all along keeps the mutex, and whoever owns it, in existence
    // (a named mutex ends with its last handle).
    HANDLE keeper = OpenLogMutex(path_);
    ASSERT_NE(keeper, nullptr);
    Holder holder(path_, true);
    ASSERT_TRUE(holder.WaitHeld());
    ASSERT_TRUE(holder.WaitEnded());
    WriteLogLine("after the dead writer");
    WriteLogLine("and again");
    EXPECT_EQ(kit::ReadWholeFile(path_), "after the dead writer\r\nand again\r\n");
    // The writer gave the mutex back: another thread takes it at once.  (Not this
    // thread: a mutex lets its owner in again.)
    DWORD taken = WAIT_FAILED;
    std::thread other([this, &taken] {
        HANDLE mutex = OpenLogMutex(path_);
        if (mutex == nullptr) return;
        taken = WaitForSingleObject(mutex, 0);
        if (taken == WAIT_OBJECT_0) ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    other.join();
    CloseHandle(keeper);
    EXPECT_EQ(taken, static_cast<DWORD>(WAIT_OBJECT_0));
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
