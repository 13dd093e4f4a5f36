// The one seam through which both programs reach Windows.
//
// `win32` is a process-wide table of the Win32 functions that the programs
// use. Each member starts out as the real function; a test replaces single
// members (for example `win32.Sleep` with a virtual clock) and restores the
// table afterwards with `Win32Override`. Product code calls
// `win32.CreateEventW(...)` where it would call `CreateEventW(...)`.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>
#include <sddl.h>
#include <shlwapi.h>
#include <wtsapi32.h>

#include <functional>

namespace tarnwick_detail {
template <typename F>
struct ApiSlot;
template <typename R, typename... A>
struct ApiSlot<R(A...)> {
    using type = std::function<R(A...)>;
};
}  // namespace tarnwick_detail

#define TW_SLOT(name) tarnwick_detail::ApiSlot<decltype(::name)>::type name = ::name;

struct Win32Api {
    // Errors, time.
    TW_SLOT(GetLastError)
    TW_SLOT(SetLastError)
    TW_SLOT(Sleep)
    TW_SLOT(GetTickCount)

    // Kernel objects.
    TW_SLOT(CreateEventW)
    TW_SLOT(SetEvent)
    TW_SLOT(ResetEvent)
    TW_SLOT(CloseHandle)
    TW_SLOT(WaitForMultipleObjects)

    // Registry.
    TW_SLOT(RegOpenKeyExW)
    TW_SLOT(RegCreateKeyExW)
    TW_SLOT(RegQueryInfoKeyW)
    TW_SLOT(RegEnumKeyExW)
    TW_SLOT(RegQueryValueExW)
    TW_SLOT(RegSetValueExW)
    TW_SLOT(RegFlushKey)
    TW_SLOT(RegCloseKey)

    // Service control manager.
    TW_SLOT(StartServiceCtrlDispatcherW)
    TW_SLOT(RegisterServiceCtrlHandlerExW)
    TW_SLOT(SetServiceStatus)
    TW_SLOT(OpenSCManagerW)
    TW_SLOT(CreateServiceW)
    TW_SLOT(OpenServiceW)
    TW_SLOT(StartServiceW)
    TW_SLOT(QueryServiceConfigW)
    TW_SLOT(QueryServiceStatusEx)
    TW_SLOT(ControlService)
    TW_SLOT(EnumDependentServicesW)
    TW_SLOT(DeleteService)
    TW_SLOT(CloseServiceHandle)

    // Security, tokens and processes.
    TW_SLOT(GetCurrentProcess)
    TW_SLOT(OpenProcessToken)
    TW_SLOT(DuplicateTokenEx)
    TW_SLOT(SetTokenInformation)
    TW_SLOT(CreateProcessAsUserW)
    TW_SLOT(OpenProcess)
    TW_SLOT(LookupAccountNameW)
    TW_SLOT(ConvertSidToStringSidW)
    TW_SLOT(LocalFree)
    TW_SLOT(GetProcessHeap)
    TW_SLOT(HeapAlloc)
    TW_SLOT(HeapFree)

    // Terminal services.
    TW_SLOT(WTSGetActiveConsoleSessionId)
    TW_SLOT(WTSQuerySessionInformationW)
    TW_SLOT(WTSFreeMemory)

    // Paths and the process's own file.
    TW_SLOT(GetCommandLineW)
    TW_SLOT(GetModuleFileNameW)
    TW_SLOT(GetModuleFileNameExW)
    TW_SLOT(GetLongPathNameW)
    TW_SLOT(PathRemoveFileSpecW)
    TW_SLOT(PathFindFileNameW)
    TW_SLOT(SetCurrentDirectoryW)

    // Windows and input.
    TW_SLOT(GetForegroundWindow)
    TW_SLOT(GetWindowThreadProcessId)
    TW_SLOT(EnumChildWindows)
    TW_SLOT(GetWindowTextW)
    TW_SLOT(GetClassNameW)
    TW_SLOT(PostMessageW)
    TW_SLOT(keybd_event)
    TW_SLOT(MapVirtualKeyW)
    TW_SLOT(LockWorkStation)
    TW_SLOT(OpenInputDesktop)
    TW_SLOT(GetUserObjectInformationW)
    TW_SLOT(CloseDesktop)
};

#undef TW_SLOT

// Never destroyed, so that owners of handles in process-wide state can still
// close them while the process exits.
extern Win32Api& win32;

// Restores the whole table when it goes out of scope; tests create one and
// then replace single members of `win32`.
class Win32Override {
public:
    Win32Override() : saved_(win32) {}
    ~Win32Override() { win32 = saved_; }
    Win32Override(const Win32Override&) = delete;
    Win32Override& operator=(const Win32Override&) = delete;

private:
    Win32Api saved_;
};
