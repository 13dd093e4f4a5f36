// A critical section owned by an object, and a holder that keeps it entered
// for its own lifetime.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// Initialised when constructed and deleted when destroyed. A static one is
// set up by static initialisation, before the program's entry runs (and
// before the `win32` table exists), so it calls Windows directly.
class KCriticalSection {
public:
    KCriticalSection() { InitializeCriticalSection(&section_); }
    ~KCriticalSection() { DeleteCriticalSection(&section_); }
    KCriticalSection(const KCriticalSection&) = delete;
    KCriticalSection& operator=(const KCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }
    // Takes the section only if no other thread holds it.
    bool TryEnter() { return TryEnterCriticalSection(&section_) != FALSE; }

private:
    CRITICAL_SECTION section_;
};

// Holds a KCriticalSection for the lifetime of the holder.
class KLockHolder {
public:
    explicit KLockHolder(KCriticalSection& lock) : lock_(lock) { lock_.Enter(); }
    ~KLockHolder() { lock_.Leave(); }
    KLockHolder(const KLockHolder&) = delete;
    KLockHolder& operator=(const KLockHolder&) = delete;

private:
    KCriticalSection& lock_;
};
