// Scope guards for the Win32 handles the product opens.  Every handle lives inside one
// operation; the guard makes "closed on every path" true by construction.  Declare the
// service manager guard before the service guard, so the service closes first.
#pragma once

#include <windows.h>

template <typename Handle, typename Closer, Closer Close, Handle Empty>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : handle_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    Handle* put() { reset(); return &handle_; }
    explicit operator bool() const { return handle_ != Empty; }
    void reset(Handle h = Empty) {
        if (handle_ != Empty) Close(handle_);
        handle_ = h;
    }

private:
    Handle handle_ = Empty;
};

namespace handle_detail {
inline void CloseRegKey(HKEY key) { ::RegCloseKey(key); }
inline void CloseServiceHandle(SC_HANDLE h) { ::CloseServiceHandle(h); }
inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void DeregisterEventSource(HANDLE h) { ::DeregisterEventSource(h); }
}  // namespace handle_detail

using UniqueRegKey = UniqueHandle<HKEY, void (*)(HKEY), handle_detail::CloseRegKey, nullptr>;
using UniqueServiceHandle =
    UniqueHandle<SC_HANDLE, void (*)(SC_HANDLE), handle_detail::CloseServiceHandle, nullptr>;
using UniqueEventSource =
    UniqueHandle<HANDLE, void (*)(HANDLE), handle_detail::DeregisterEventSource, nullptr>;
using UniqueEvent = UniqueHandle<HANDLE, void (*)(HANDLE), handle_detail::CloseKernelHandle, nullptr>;

// Files use INVALID_HANDLE_VALUE as "no handle", which is not a constant expression
// usable as a template argument; a small class of its own keeps it plain.
class UniqueFile {
public:
    UniqueFile() = default;
    explicit UniqueFile(HANDLE h) : handle_(h) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    ~UniqueFile() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
