// Small owners of Windows handles: each closes what it holds when it is
// destroyed, so a handle obtained into one is released on every path.
// Closing goes through the `win32` table, like every other Windows call.
#pragma once

#include "common/win32_api.h"

// Owner of one open registry key. The key is obtained by passing `&reg.key`
// as the result argument of a registry open or create call.
class KReg {
public:
    KReg() = default;
    virtual ~KReg() { Close(); }
    KReg(const KReg&) = delete;
    KReg& operator=(const KReg&) = delete;

    void Close()
    {
        if (key != nullptr) {
            win32.RegCloseKey(key);
            key = nullptr;
        }
    }

    HKEY key = nullptr;
};

// Generic owner: `Traits` names the handle type, its empty value and how it
// is released.
template <typename Traits>
class KOwned {
public:
    using Handle = typename Traits::Handle;

    KOwned() = default;
    explicit KOwned(Handle h) : handle(h) {}
    ~KOwned() { Close(); }
    KOwned(const KOwned&) = delete;
    KOwned& operator=(const KOwned&) = delete;

    void Close()
    {
        if (handle != Handle()) {
            Traits::Release(handle);
            handle = Handle();
        }
    }

    // Gives the handle up without releasing it.
    Handle Detach()
    {
        Handle h = handle;
        handle = Handle();
        return h;
    }

    Handle get() const { return handle; }
    explicit operator bool() const { return handle != Handle(); }

    Handle handle = Handle();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static void Release(HANDLE h) { win32.CloseHandle(h); }
};
struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static void Release(SC_HANDLE h) { win32.CloseServiceHandle(h); }
};
struct DesktopTraits {
    using Handle = HDESK;
    static void Release(HDESK h) { win32.CloseDesktop(h); }
};
struct LocalMemoryTraits {
    using Handle = wchar_t*;
    static void Release(wchar_t* p) { win32.LocalFree(p); }
};
struct WtsMemoryTraits {
    using Handle = wchar_t*;
    static void Release(wchar_t* p) { win32.WTSFreeMemory(p); }
};
struct ProcessHeapTraits {
    using Handle = void*;
    static void Release(void* p) { win32.HeapFree(win32.GetProcessHeap(), 0, p); }
};

using KHandle = KOwned<KernelHandleTraits>;          // events, tokens, processes, threads
using KScHandle = KOwned<ServiceHandleTraits>;       // service manager and services
using KDesktop = KOwned<DesktopTraits>;              // desktops
using KLocalString = KOwned<LocalMemoryTraits>;      // strings freed with LocalFree
using KWtsString = KOwned<WtsMemoryTraits>;          // terminal-services buffers
using KHeapBlock = KOwned<ProcessHeapTraits>;        // process-heap blocks
