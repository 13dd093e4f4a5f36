// Process-wide state of the service and its one lock.
#pragma once

#include "win32_api.h"

constexpr const wchar_t* kServiceName = L"TarnwickSvc";
constexpr const wchar_t* kServiceDisplayName = L"Tarnwick Service";
constexpr DWORD kServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;  // 0x110

// One critical section for the whole process, initialised before the entry
// runs and deleted at process exit.
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

extern SERVICE_STATUS_HANDLE StatusHandle;
extern SERVICE_STATUS ServiceStatus;
extern DWORD CheckPointCounter;
extern HANDLE StopEvent;
extern KCriticalSection ServiceLock;
