// The one seam through which the programs, the tools and the package's
// custom actions reach Windows.
//
// `win32` is a process-wide table of the Win32 functions that the programs
// use, generated from the list in common/win32_functions.h. Each member
// starts out as the real function; a test replaces single members (for
// example `win32.Sleep` with a virtual clock). Product code calls
// `win32.CreateEventW(...)` where it would call `CreateEventW(...)`.
//
// For tests: `KWin32Override` restores the whole table at the end of a scope,
// and in strict mode turns every member into a failing one that reports its
// name; `KWin32Substitutes` is what a fake holds to put back exactly the
// members it replaced.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>
#include <psapi.h>
#include <sddl.h>
#include <shlwapi.h>
#include <winver.h>
#include <wtsapi32.h>

#include <cstddef>

#include <functional>
#include <utility>
#include <vector>

#include "common/win32_functions.h"

namespace tarnwick_detail {
// The type of a member: std::function of its function's signature, deduced
// from the function's address. (Deduction leaves out the attribute that GCC
// gives va_list, which it would warn about in a template argument written
// out: FormatMessageW's last parameter.)
template <typename R, typename... A>
std::function<R(A...)> SlotOf(R(WINAPI*)(A...));
}  // namespace tarnwick_detail

// The functions of system DLLs that the programs do not import, by number.
enum class SystemDllFunction : std::size_t {
#define TW_SYSTEM_DLL_FUNCTION(name, failure, lastError) name,
    TW_WIN32_WTSAPI32_FUNCTIONS(TW_SYSTEM_DLL_FUNCTION) TW_WIN32_VERSION_FUNCTIONS(TW_SYSTEM_DLL_FUNCTION)
        TW_WIN32_MSI_FUNCTIONS(TW_SYSTEM_DLL_FUNCTION)
#undef TW_SYSTEM_DLL_FUNCTION
    Count
};

namespace tarnwick_detail {

// The address of one of them, bound at its first call: `dll` loaded from the
// system folder alone (LoadLibraryExW with LOAD_LIBRARY_SEARCH_SYSTEM32,
// which Microsoft documents for Windows 8 and later, and for Windows 7 with
// KB2533623), then GetProcAddress. Null when either fails, with their error
// left for GetLastError; the next call tries again.
FARPROC BindSystemDllFunction(SystemDllFunction function, const wchar_t* dll, const char* name);

// A member that binds its function at the first call, and fails as the
// function fails (its failure result) when it cannot be bound.
template <typename Slot>
struct SystemDllSlot;
template <typename R, typename... A>
struct SystemDllSlot<std::function<R(A...)>> {
    template <typename Result>
    static std::function<R(A...)> Make(SystemDllFunction function, const wchar_t* dll, const char* name,
                                       Result failure)
    {
        return [function, dll, name, failure](A... arguments) -> R {
            const FARPROC address = BindSystemDllFunction(function, dll, name);
            if (address == nullptr) {
                return static_cast<R>(failure);
            }
            // Through void (*)(), the type that converts to every function
            // pointer type without a warning.
            const auto bound = reinterpret_cast<R(WINAPI*)(A...)>(reinterpret_cast<void (*)()>(address));
            return bound(arguments...);
        };
    }
};

}  // namespace tarnwick_detail

#define TW_SLOT(name, failure, lastError) decltype(tarnwick_detail::SlotOf(&::name)) name = ::name;
#define TW_SYSTEM_DLL_SLOT(name, failure, lastError, dll)                                              \
    decltype(tarnwick_detail::SlotOf(&::name)) name =                                                   \
        tarnwick_detail::SystemDllSlot<decltype(tarnwick_detail::SlotOf(&::name))>::Make(SystemDllFunction::name, \
                                                                                          dll, #name, failure);
#define TW_WTSAPI32_SLOT(name, failure, lastError) TW_SYSTEM_DLL_SLOT(name, failure, lastError, L"wtsapi32.dll")
#define TW_VERSION_SLOT(name, failure, lastError) TW_SYSTEM_DLL_SLOT(name, failure, lastError, L"version.dll")
#define TW_MSI_SLOT(name, failure, lastError) TW_SYSTEM_DLL_SLOT(name, failure, lastError, L"msi.dll")

struct Win32Api {
    TW_WIN32_LINKED_FUNCTIONS(TW_SLOT)
    TW_WIN32_WTSAPI32_FUNCTIONS(TW_WTSAPI32_SLOT)
    TW_WIN32_VERSION_FUNCTIONS(TW_VERSION_SLOT)
    TW_WIN32_MSI_FUNCTIONS(TW_MSI_SLOT)
};

#undef TW_MSI_SLOT
#undef TW_VERSION_SLOT
#undef TW_WTSAPI32_SLOT
#undef TW_SYSTEM_DLL_SLOT
#undef TW_SLOT

// How the functions of system DLLs are bound: the real LoadLibraryExW,
// GetProcAddress and FreeLibrary (for a module in which the function is not
// found), which a test replaces to watch or fail the binding (and puts
// back), with ForgetSystemDllBindings before and after, so that the next
// call binds anew. A module whose function was bound stays loaded for the
// life of the process, as an imported DLL does.
struct SystemDllLoader {
    std::function<HMODULE(LPCWSTR, HANDLE, DWORD)> load = ::LoadLibraryExW;
    std::function<FARPROC(HMODULE, LPCSTR)> find = ::GetProcAddress;
    std::function<BOOL(HMODULE)> release = ::FreeLibrary;
};
extern SystemDllLoader& systemDllLoader;
void ForgetSystemDllBindings();

// Never destroyed, so that owners of handles in process-wide state can still
// close them while the process exits.
extern Win32Api& win32;

// The function that a strict KWin32Override calls, with the member's name,
// when a member is called that no test has replaced.
using Win32UnreplacedCall = void (*)(const char* slot);

// Restores the whole table when it goes out of scope.
class KWin32Override {
public:
    // Plain: the table stays as it is; the test replaces single members.
    KWin32Override() : saved_(win32) {}
    // Strict: every member, until the test replaces it, reports its call to
    // `report` and then fails as its function does (the failure result and
    // last error of common/win32_functions.h), so that a test cannot reach
    // a real function by accident.
    explicit KWin32Override(Win32UnreplacedCall report);
    ~KWin32Override() { win32 = saved_; }
    KWin32Override(const KWin32Override&) = delete;
    KWin32Override& operator=(const KWin32Override&) = delete;

    // Puts the real functions back into the given members, for the calls a
    // strict test makes for real on purpose:
    //   api.UseReal(&Win32Api::CreateEventW, &Win32Api::CloseHandle);
    template <typename... F>
    void UseReal(F Win32Api::*... slots)
    {
        const Win32Api& real = RealWin32Functions();
        ((win32.*slots = real.*slots), ...);
    }

private:
    static const Win32Api& RealWin32Functions();

    Win32Api saved_;
};

// The members that one substitute (a fake) replaces. Each is put back as it
// was found when the object is destroyed, the last replaced first, so that
// fakes that wrap a member (call the function they found there) can be
// stacked and taken away again in the reverse order, and so that a fake
// needs no KWin32Override around it.
class KWin32Substitutes {
public:
    KWin32Substitutes() = default;
    ~KWin32Substitutes()
    {
        for (auto restore = restores_.rbegin(); restore != restores_.rend(); ++restore) {
            (*restore)();
        }
    }
    KWin32Substitutes(const KWin32Substitutes&) = delete;
    KWin32Substitutes& operator=(const KWin32Substitutes&) = delete;

    // win32.*slot = substitute, until this object is destroyed.
    template <typename F, typename Substitute>
    void Replace(F Win32Api::*slot, Substitute&& substitute)
    {
        restores_.push_back([slot, found = win32.*slot] { win32.*slot = found; });
        win32.*slot = std::forward<Substitute>(substitute);
    }

private:
    std::vector<std::function<void()>> restores_;
};
