#include "files.h"

#include <cstdio>

#include "generation.h"
#include "standin/journal_text.h"

namespace standin {

namespace {

// Mutex names cannot hold backslashes, so the path goes in as a hash of its upper-case form
// (Windows paths compare without regard to case).
std::string mutexSuffix(const std::string& path) {
    unsigned long long h = 14695981039346656037ULL;  // FNV-1a, 64 bits
    for (char ch : path) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        if (c == '/') c = '\\';
        h = (h ^ c) * 1099511628211ULL;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "pbvmsvc-standin-append-%016llX", h);
    return buffer;
}

// Everyone may open the mutex: the service (another account on Windows) and a test process
// can append to the same journal.
HANDLE createSharedMutex(const std::string& name) {
    SECURITY_DESCRIPTOR sd;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    if (InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE))
        sa.lpSecurityDescriptor = &sd;
    HANDLE h = CreateMutexA(&sa, FALSE, ("Global\\" + name).c_str());
    if (!h) h = CreateMutexA(&sa, FALSE, name.c_str());
    return h;
}

// Reads an opened file and closes it.
bool readOpenedFile(HANDLE file, std::string& text, DWORD& error) {
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    bool ok = false;
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        error = GetLastError();
    } else if (high != 0 || size > kMaxReadBytes) {
        error = ERROR_FILE_TOO_LARGE;
    } else {
        std::string buffer(size, '\0');
        DWORD got = 0;
        if (size == 0 || ReadFile(file, &buffer[0], size, &got, nullptr)) {
            buffer.resize(got);
            text = std::move(buffer);
            ok = true;
        } else {
            error = GetLastError();
        }
    }
    CloseHandle(file);
    return ok;
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const std::size_t kHeldBytesLimit = 1024 * 1024;

}  // namespace

bool readWholeFile(const std::string& path, std::string& text, DWORD& error) {
    return readOpenedFile(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                          text, error);
}

bool readWholeFile(const std::wstring& path, std::string& text, DWORD& error) {
    return readOpenedFile(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                          text, error);
}

bool toAnsi(const char* s, std::string& out) {
    out = s;
    return true;
}

bool toAnsi(const wchar_t* s, std::string& out) {
    BOOL lost = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s, -1, nullptr, 0, nullptr, &lost);
    out.assign(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s, -1, &out[0], size, nullptr, &lost);
    out.resize(out.size() - 1);  // the terminating null
    return size > 0 && !lost;
}

Appender::~Appender() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (mutex_) CloseHandle(mutex_);
}

void Appender::open(const std::string& path) {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (mutex_) CloseHandle(mutex_);
    path_ = path;
    mutex_ = createSharedMutex(mutexSuffix(path));
}

bool Appender::writeLocked(const std::string& bytes) const {
    // A failed write (say the folder was removed) closes the file; the next append retries.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (file_ == INVALID_HANDLE_VALUE) {
            file_ = CreateFileA(path_.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file_ == INVALID_HANDLE_VALUE) return false;
        }
        DWORD done = 0;
        if (WriteFile(file_, bytes.data(), DWORD(bytes.size()), &done, nullptr) &&
            done == bytes.size())
            return true;
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
    return false;
}

bool Appender::append(const std::string& text, std::string (*stamp)()) const {
    if (path_.empty()) return false;
    if (!holding_) return writeShared(text, stamp);
    std::string full;
    {
        std::lock_guard<std::mutex> lock(heldLock_);
        held_ += stamp ? stamp() + text : text;
        if (held_.size() < kHeldBytesLimit) return true;
        full.swap(held_);
    }
    return writeShared(full, nullptr);
}

bool Appender::writeShared(const std::string& text, std::string (*stamp)()) const {
    // WAIT_ABANDONED also hands over the mutex: its last owner died mid-append.
    bool locked = mutex_ && WaitForSingleObject(mutex_, INFINITE) != WAIT_FAILED;
    std::unique_lock<std::mutex> fallback(fallbackLock_, std::defer_lock);
    if (!locked) fallback.lock();  // no named mutex: at least keep this process's threads apart
    bool written = writeLocked(stamp ? stamp() + text : text);
    if (locked) ReleaseMutex(mutex_);
    return written;
}

bool Appender::flush(bool othersEnded) const {
    std::string held;
    if (othersEnded) {
        // The process is ending: its other threads are gone, one of them perhaps while it
        // held the lock, which would then never come free.
        held.swap(held_);
    } else {
        std::lock_guard<std::mutex> lock(heldLock_);
        held.swap(held_);
    }
    return held.empty() || writeShared(held, nullptr);
}

std::string monotonicStamp() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return formatMillis(static_cast<unsigned long long>(now.QuadPart),
                        static_cast<unsigned long long>(frequency.QuadPart)) + " ";
}

std::string localTimeStamp() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return buffer;
}

}  // namespace standin
