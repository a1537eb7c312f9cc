// File access of the stand-in VM: reading a whole (small) file, and appending lines to a
// file that other threads and other processes append to as well.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

namespace standin {

// Reads the file at path, used exactly as given (an ANSI or a UTF-16 name).  On failure
// returns false and sets error to the Windows error code (ERROR_FILE_TOO_LARGE above
// kMaxReadBytes).
const DWORD kMaxReadBytes = 4u * 1024u * 1024u;
bool readWholeFile(const std::string& path, std::string& text, DWORD& error);
bool readWholeFile(const std::wstring& path, std::string& text, DWORD& error);

// Appends to a file through a named mutex shared by every process that appends to the same
// path: Wine implements FILE_APPEND_DATA as a write at a size it looked up itself, so two
// unsynchronised writers lose lines.  Only the append itself is locked.  The file stays open
// (opening it costs more than 20 writes under Wine) and readers, truncation and deletion are
// allowed; lines written after a deletion are lost until the appender is opened again.
class Appender {
public:
    Appender() = default;
    ~Appender();
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;

    void open(const std::string& path);
    const std::string& path() const { return path_; }

    // Appends stamp() + text as one write; stamp (may be null) runs under the lock, so
    // stamps taken from a clock come out in file order.
    bool append(const std::string& text, std::string (*stamp)() = nullptr) const;

    // From now on appends collect in memory, stamped as they come, and reach the file with
    // flush() (or when they pass a megabyte): the file's cost is paid once, not per line.
    // Lines still held when the process dies are lost.  othersEnded: the process is
    // ending and no other thread of it runs any more.
    void holdInMemory() { holding_ = true; }
    bool flush(bool othersEnded) const;

private:
    bool writeLocked(const std::string& bytes) const;
    bool writeShared(const std::string& text, std::string (*stamp)()) const;

    std::string path_;
    HANDLE mutex_ = nullptr;
    mutable HANDLE file_ = INVALID_HANDLE_VALUE;  // guarded by mutex_
    mutable std::mutex fallbackLock_;
    bool holding_ = false;
    mutable std::string held_;  // guarded by heldLock_
    mutable std::mutex heldLock_;
};

// "<performance counter in ms with 3 decimals> "
std::string monotonicStamp();
// "YYYY-MM-DD hh:mm:ss.mmm " in local time.
std::string localTimeStamp();

}  // namespace standin
