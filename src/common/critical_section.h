// A lock for state that two threads of the service process share.  Instances live at
// namespace scope: they are constructed during static initialisation, before main and
// so before any thread can take them, and never destroyed while a thread may still run.
#pragma once

#include <windows.h>

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Holds the lock for the rest of the scope.
class CriticalSectionTurn {
public:
    explicit CriticalSectionTurn(CriticalSection& lock) : lock_(lock) { lock_.Enter(); }
    ~CriticalSectionTurn() { lock_.Leave(); }
    CriticalSectionTurn(const CriticalSectionTurn&) = delete;
    CriticalSectionTurn& operator=(const CriticalSectionTurn&) = delete;

private:
    CriticalSection& lock_;
};
