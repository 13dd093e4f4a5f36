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

// Keeps the calling thread's last error across a release, so that closing a
// handle on the way out of a failed operation does not hide why it failed.
class KKeepLastError {
public:
    KKeepLastError() : error_(win32.GetLastError()) {}
    ~KKeepLastError() { win32.SetLastError(error_); }
    KKeepLastError(const KKeepLastError&) = delete;
    KKeepLastError& operator=(const KKeepLastError&) = delete;

private:
    DWORD error_;
};

// Generic owner: `Traits` names the handle type and how it is released, and
// may name which values are no handle (IsHandle); without it, the empty
// value Handle() alone is none. Movable, not copyable: exactly one owner
// holds a handle.
template <typename Traits>
class KOwned {
public:
    using Handle = typename Traits::Handle;

    KOwned() = default;
    explicit KOwned(Handle h) : handle_(h) {}
    ~KOwned() { Close(); }
    KOwned(const KOwned&) = delete;
    KOwned& operator=(const KOwned&) = delete;
    KOwned(KOwned&& other) noexcept : handle_(other.release()) {}
    KOwned& operator=(KOwned&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    // Releases what it holds, if anything, and then holds nothing.
    void Close() { reset(); }

    // Releases what it holds (unless it is `h` itself) and takes `h`.
    void reset(Handle h = Handle())
    {
        const Handle old = handle_;
        handle_ = h;
        if (IsHandle(old, 0) && old != h) {
            KKeepLastError keep;
            Traits::Release(old);
        }
    }

    // Gives the handle up without releasing it; the caller owns it now.
    [[nodiscard]] Handle release()
    {
        const Handle h = handle_;
        handle_ = Handle();
        return h;
    }

    // For the out-parameter of a call that opens or creates: releases what
    // it holds, then hands out the address of its (empty) field.
    Handle* put()
    {
        Close();
        return &handle_;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return IsHandle(handle_, 0); }

private:
    // Traits::IsHandle where the traits have it, else "not Handle()".
    template <typename T = Traits>
    static auto IsHandle(Handle h, int) -> decltype(T::IsHandle(h))
    {
        return T::IsHandle(h);
    }
    static bool IsHandle(Handle h, long) { return h != Handle(); }

    Handle handle_ = Handle();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static void Release(HANDLE h) { win32.CloseHandle(h); }
};
// Files: CreateFileW reports failure with INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    using Handle = HANDLE;
    static bool IsHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
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
// Blocks that Windows allocated with LocalAlloc (security descriptors).
struct LocalBlockTraits {
    using Handle = void*;
    static void Release(void* p) { win32.LocalFree(p); }
};
// One reference to a module that LoadLibraryExW loaded.
struct ModuleTraits {
    using Handle = HMODULE;
    static void Release(HMODULE m) { win32.FreeLibrary(m); }
};
struct WtsMemoryTraits {
    using Handle = wchar_t*;
    static void Release(wchar_t* p) { win32.WTSFreeMemory(p); }
};
// Windows Installer's handles that a custom action opens itself (records,
// views, databases). The session handle that Windows Installer passes to
// the action is Windows Installer's own and is never owned.
struct MsiHandleTraits {
    using Handle = MSIHANDLE;
    static void Release(MSIHANDLE h) { win32.MsiCloseHandle(h); }
};

using KHandle = KOwned<KernelHandleTraits>;          // events, tokens, processes, threads
using KFile = KOwned<FileHandleTraits>;              // files
using KScHandle = KOwned<ServiceHandleTraits>;       // service manager and services
using KDesktop = KOwned<DesktopTraits>;              // desktops
using KLocalString = KOwned<LocalMemoryTraits>;      // strings freed with LocalFree
using KLocalBlock = KOwned<LocalBlockTraits>;        // other blocks freed with LocalFree
using KModule = KOwned<ModuleTraits>;                // references to loaded modules
using KWtsString = KOwned<WtsMemoryTraits>;          // terminal-services buffers
using KMsiHandle = KOwned<MsiHandleTraits>;          // Windows Installer's records

// Owner of one block of a heap: it frees the block to the heap it came from,
// so that freeing needs no second lookup of the heap, which could fail.
class KHeapBlock {
public:
    KHeapBlock(HANDLE heap, void* block) : heap_(heap), block_(block) {}
    ~KHeapBlock()
    {
        if (block_ != nullptr) {
            KKeepLastError keep;
            win32.HeapFree(heap_, 0, block_);
        }
    }
    KHeapBlock(const KHeapBlock&) = delete;
    KHeapBlock& operator=(const KHeapBlock&) = delete;

    void* get() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }

private:
    HANDLE heap_;
    void* block_;
};
