// Every Windows function that the programs and tools call through the table,
// how a call of it fails: what it returns then, and the error it leaves for
// GetLastError (0: it leaves the last error as it was; the registry calls
// and Windows Installer's return their error instead). The `win32` table (common/win32_api.h) and
// its strict test mode are generated from this one list.
//
//   X(name, failure result, last error)
//
// `kCannotFail` marks a function that has no failure (or none that its
// caller could notice); where a failure has to be produced anyway, it
// returns a zero value (nothing for a void function).
//
// The functions of system DLLs that are not known DLLs (wtsapi32.dll,
// version.dll, msi.dll) are listed apart: the programs do not import them,
// since Windows looks for an imported DLL that is not a known DLL in the
// program's own folder first. Each is bound at its first call from the
// system folder alone (common/win32_api.h); where that fails, the call fails
// as listed, with the loader's error (ERROR_MOD_NOT_FOUND,
// ERROR_PROC_NOT_FOUND).
//
// The functions that release what they are given are named once more in
// TW_WIN32_RELEASING_FUNCTIONS: when one of them fails, the handle or block
// it was given is still not the caller's to release again, so a test that
// makes such a call fail releases first and then reports the failure.
//
// Include it after the Windows headers that declare the functions.
#pragma once

// Converts to a zero value of any return type.
struct Win32CannotFail {
    template <typename T>
    constexpr operator T() const
    {
        return T();
    }
};
constexpr Win32CannotFail kCannotFail{};

#define TW_WIN32_LINKED_FUNCTIONS(X)                                                        \
    /* Errors, time. */                                                                \
    X(GetLastError,                  kCannotFail,          0)                          \
    X(SetLastError,                  kCannotFail,          0)                          \
    X(FormatMessageW,                0,                    ERROR_MR_MID_NOT_FOUND)     \
    X(Sleep,                         kCannotFail,          0)                          \
    X(GetTickCount,                  kCannotFail,          0)                          \
    X(GetLocalTime,                  kCannotFail,          0)                          \
                                                                                       \
    /* Kernel objects. */                                                              \
    X(CreateEventW,                  nullptr,              ERROR_NOT_ENOUGH_MEMORY)    \
    X(OpenEventW,                    nullptr,              ERROR_FILE_NOT_FOUND)       \
    X(SetEvent,                      FALSE,                ERROR_INVALID_HANDLE)       \
    X(ResetEvent,                    FALSE,                ERROR_INVALID_HANDLE)       \
    X(CloseHandle,                   FALSE,                ERROR_INVALID_HANDLE)       \
    X(WaitForMultipleObjects,        WAIT_FAILED,          ERROR_INVALID_HANDLE)       \
    X(CreateThread,                  nullptr,              ERROR_NOT_ENOUGH_MEMORY)    \
                                                                                       \
    /* Modules of the system, loaded at run time. */                                   \
    X(LoadLibraryExW,                nullptr,              ERROR_MOD_NOT_FOUND)        \
    X(GetProcAddress,                nullptr,              ERROR_PROC_NOT_FOUND)       \
    X(FreeLibrary,                   FALSE,                ERROR_INVALID_HANDLE)       \
                                                                                       \
    /* Registry. */                                                                    \
    X(RegOpenKeyExW,                 ERROR_ACCESS_DENIED,  0)                          \
    X(RegCreateKeyExW,               ERROR_ACCESS_DENIED,  0)                          \
    X(RegQueryInfoKeyW,              ERROR_ACCESS_DENIED,  0)                          \
    X(RegEnumKeyExW,                 ERROR_ACCESS_DENIED,  0)                          \
    X(RegEnumValueW,                 ERROR_ACCESS_DENIED,  0)                          \
    X(RegQueryValueExW,              ERROR_ACCESS_DENIED,  0)                          \
    X(RegSetValueExW,                ERROR_ACCESS_DENIED,  0)                          \
    X(RegDeleteValueW,               ERROR_ACCESS_DENIED,  0)                          \
    X(RegDeleteKeyW,                 ERROR_ACCESS_DENIED,  0)                          \
    X(RegDeleteTreeW,                ERROR_ACCESS_DENIED,  0)                          \
    X(RegFlushKey,                   ERROR_ACCESS_DENIED,  0)                          \
    X(RegCloseKey,                   ERROR_INVALID_HANDLE, 0)                          \
    X(RegLoadKeyW,                   ERROR_SHARING_VIOLATION, 0)                       \
    X(RegUnLoadKeyW,                 ERROR_ACCESS_DENIED,  0)                          \
                                                                                       \
    /* Service control manager. */                                                     \
    X(StartServiceCtrlDispatcherW,   FALSE,                ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) \
    X(RegisterServiceCtrlHandlerExW, nullptr,              ERROR_SERVICE_NOT_IN_EXE)   \
    X(SetServiceStatus,              FALSE,                ERROR_INVALID_HANDLE)       \
    X(OpenSCManagerW,                nullptr,              ERROR_ACCESS_DENIED)        \
    X(CreateServiceW,                nullptr,              ERROR_ACCESS_DENIED)        \
    X(OpenServiceW,                  nullptr,              ERROR_SERVICE_DOES_NOT_EXIST) \
    X(StartServiceW,                 FALSE,                ERROR_SERVICE_DISABLED)     \
    X(QueryServiceConfigW,           FALSE,                ERROR_ACCESS_DENIED)        \
    X(QueryServiceStatusEx,          FALSE,                ERROR_ACCESS_DENIED)        \
    X(ControlService,                FALSE,                ERROR_SERVICE_CANNOT_ACCEPT_CTRL) \
    X(EnumDependentServicesW,        FALSE,                ERROR_ACCESS_DENIED)        \
    X(DeleteService,                 FALSE,                ERROR_ACCESS_DENIED)        \
    X(SetServiceObjectSecurity,      FALSE,                ERROR_ACCESS_DENIED)        \
    X(CloseServiceHandle,            FALSE,                ERROR_INVALID_HANDLE)       \
                                                                                       \
    /* Security, tokens and processes. */                                              \
    X(GetCurrentProcess,             kCannotFail,          0)                          \
    X(GetCurrentProcessId,           kCannotFail,          0)                          \
    X(OpenProcessToken,              FALSE,                ERROR_ACCESS_DENIED)        \
    X(DuplicateTokenEx,              FALSE,                ERROR_ACCESS_DENIED)        \
    X(SetTokenInformation,           FALSE,                ERROR_PRIVILEGE_NOT_HELD)   \
    X(CreateProcessAsUserW,          FALSE,                ERROR_FILE_NOT_FOUND)       \
    X(OpenProcess,                   nullptr,              ERROR_ACCESS_DENIED)        \
    X(LookupAccountNameW,            FALSE,                ERROR_NONE_MAPPED)          \
    X(GetTokenInformation,           FALSE,                ERROR_ACCESS_DENIED)        \
    X(LookupPrivilegeValueW,         FALSE,                ERROR_NO_SUCH_PRIVILEGE)    \
    X(AdjustTokenPrivileges,         FALSE,                ERROR_ACCESS_DENIED)        \
    X(ConvertSidToStringSidW,        FALSE,                ERROR_NOT_ENOUGH_MEMORY)    \
    X(ConvertStringSecurityDescriptorToSecurityDescriptorW, FALSE, ERROR_NOT_ENOUGH_MEMORY) \
    X(GetSecurityInfo,               ERROR_ACCESS_DENIED,  0)                          \
    X(GetNamedSecurityInfoW,         ERROR_ACCESS_DENIED,  0)                          \
    X(ConvertStringSidToSidW,        FALSE,                ERROR_INVALID_SID)          \
    X(LookupAccountSidW,             FALSE,                ERROR_NONE_MAPPED)          \
    X(IsWellKnownSid,                FALSE,                0)                          \
    X(LocalFree,                     kCannotFail,          0)                          \
    X(GetProcessHeap,                nullptr,              ERROR_NOT_ENOUGH_MEMORY)    \
    X(HeapAlloc,                     nullptr,              0)                          \
    X(HeapFree,                      FALSE,                ERROR_INVALID_PARAMETER)    \
                                                                                       \
    /* The console's session (kernel32; the rest of terminal services below). */      \
    X(WTSGetActiveConsoleSessionId,  0xFFFFFFFFul,         0)                          \
                                                                                       \
    /* Paths and the process's own file. */                                            \
    X(GetCommandLineW,               kCannotFail,          0)                          \
    X(GetModuleFileNameW,            0,                    ERROR_INVALID_PARAMETER)    \
    X(QueryFullProcessImageNameW,    FALSE,                ERROR_ACCESS_DENIED)        \
    X(GetLongPathNameW,              0,                    ERROR_FILE_NOT_FOUND)       \
    X(PathRemoveFileSpecW,           FALSE,                0)                          \
    X(PathFindFileNameW,             kCannotFail,          0)                          \
    X(SetCurrentDirectoryW,          FALSE,                ERROR_PATH_NOT_FOUND)       \
    X(GetFileAttributesW,            INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND)    \
    X(ExpandEnvironmentStringsW,     0,                    ERROR_NOT_ENOUGH_MEMORY)    \
    X(GetEnvironmentVariableW,       0,                    ERROR_ENVVAR_NOT_FOUND)     \
    X(GetSystemDirectoryW,           0,                    ERROR_NOT_ENOUGH_MEMORY)    \
    X(GetWindowsDirectoryW,          0,                    ERROR_NOT_ENOUGH_MEMORY)    \
    X(SearchPathW,                   0,                    ERROR_FILE_NOT_FOUND)       \
                                                                                       \
    /* Files and folders (TarnwickSmoke). */                                           \
    X(GetTempPathW,                  0,                    ERROR_PATH_NOT_FOUND)       \
    X(CreateDirectoryW,              FALSE,                ERROR_ACCESS_DENIED)        \
    X(RemoveDirectoryW,              FALSE,                ERROR_DIR_NOT_EMPTY)        \
    X(CopyFileW,                     FALSE,                ERROR_ACCESS_DENIED)        \
    X(DeleteFileW,                   FALSE,                ERROR_ACCESS_DENIED)        \
    X(CreateFileW,                   INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND)       \
    X(ReadFile,                      FALSE,                ERROR_INVALID_HANDLE)       \
    X(WriteFile,                     FALSE,                ERROR_DISK_FULL)            \
                                                                                       \
    /* Processes of TarnwickSmoke's own. */                                            \
    X(CreateProcessW,                FALSE,                ERROR_FILE_NOT_FOUND)       \
    X(WaitForSingleObject,           WAIT_FAILED,          ERROR_INVALID_HANDLE)       \
    X(TerminateProcess,              FALSE,                ERROR_ACCESS_DENIED)        \
                                                                                       \
    /* Windows and input. */                                                           \
    X(GetForegroundWindow,           nullptr,              0)                          \
    X(SetForegroundWindow,           FALSE,                0)                          \
    X(AllowSetForegroundWindow,      FALSE,                ERROR_ACCESS_DENIED)        \
    X(GetWindowThreadProcessId,      0,                    ERROR_INVALID_WINDOW_HANDLE) \
    X(EnumChildWindows,              FALSE,                0)                          \
    X(GetAncestor,                   nullptr,              0)                          \
    X(GetWindowTextW,                0,                    ERROR_INVALID_WINDOW_HANDLE) \
    X(GetClassNameW,                 0,                    ERROR_INVALID_WINDOW_HANDLE) \
    X(PostMessageW,                  FALSE,                ERROR_INVALID_WINDOW_HANDLE) \
    X(keybd_event,                   kCannotFail,          0)                          \
    X(MapVirtualKeyW,                0,                    0)                          \
    X(LockWorkStation,               FALSE,                ERROR_ACCESS_DENIED)        \
    X(OpenInputDesktop,              nullptr,              ERROR_ACCESS_DENIED)        \
    X(GetUserObjectInformationW,     FALSE,                ERROR_INVALID_HANDLE)       \
    X(CloseDesktop,                  FALSE,                ERROR_INVALID_HANDLE)       \
                                                                                       \
    /* The windows of TarnwickSmoke's stand-in client, and its message loop. */        \
    X(GetModuleHandleW,              nullptr,              ERROR_MOD_NOT_FOUND)        \
    X(LoadCursorW,                   nullptr,              ERROR_RESOURCE_NAME_NOT_FOUND) \
    X(RegisterClassW,                0,                    ERROR_NOT_ENOUGH_MEMORY)    \
    X(CreateWindowExW,               nullptr,              ERROR_NOT_ENOUGH_MEMORY)    \
    X(DefWindowProcW,                kCannotFail,          0)                          \
    X(GetClientRect,                 FALSE,                ERROR_INVALID_WINDOW_HANDLE) \
    X(MoveWindow,                    FALSE,                ERROR_INVALID_WINDOW_HANDLE) \
    X(ShowWindow,                    kCannotFail,          0)                          \
    X(SetFocus,                      nullptr,              ERROR_INVALID_WINDOW_HANDLE) \
    X(IsWindow,                      kCannotFail,          0)                          \
    X(DestroyWindow,                 FALSE,                ERROR_INVALID_WINDOW_HANDLE) \
    X(PostQuitMessage,               kCannotFail,          0)                          \
    X(MsgWaitForMultipleObjects,     WAIT_FAILED,          ERROR_INVALID_HANDLE)       \
    X(PeekMessageW,                  kCannotFail,          0)                          \
    X(DispatchMessageW,              kCannotFail,          0)                          \
                                                                                       \
    /* The console of the tools: Ctrl+C and Ctrl+Break. */                            \
    X(SetConsoleCtrlHandler,         FALSE,                ERROR_INVALID_PARAMETER)

// wtsapi32.dll: the terminal-services session functions.
#define TW_WIN32_WTSAPI32_FUNCTIONS(X)                                                 \
    X(WTSQuerySessionInformationW,   FALSE,                ERROR_FILE_NOT_FOUND)       \
    X(WTSFreeMemory,                 kCannotFail,          0)                          \
    X(WTSQueryUserToken,             FALSE,                ERROR_NO_TOKEN)

// version.dll: the version resource of a file (TarnwickCtl).
#define TW_WIN32_VERSION_FUNCTIONS(X)                                                  \
    X(GetFileVersionInfoSizeW,       0,                    ERROR_RESOURCE_TYPE_NOT_FOUND) \
    X(GetFileVersionInfoW,           FALSE,                ERROR_RESOURCE_TYPE_NOT_FOUND) \
    X(VerQueryValueW,                FALSE,                0)

// msi.dll: Windows Installer's functions for the package's custom actions
// (TarnwickSetup.dll), which run inside Windows Installer's own process,
// where msi.dll is loaded already: binding takes that module. They return
// their error (or an empty handle, or -1) and leave no last error of their
// own.
#define TW_WIN32_MSI_FUNCTIONS(X)                                                      \
    X(MsiGetPropertyW,               ERROR_INVALID_HANDLE, 0)                          \
    X(MsiSetPropertyW,               ERROR_INVALID_HANDLE, 0)                          \
    X(MsiCreateRecord,               0,                    0)                          \
    X(MsiRecordSetStringW,           ERROR_INVALID_HANDLE, 0)                          \
    X(MsiProcessMessage,             -1,                   0)                          \
    X(MsiCloseHandle,                ERROR_INVALID_HANDLE, 0)

// Every function of the table.
#define TW_WIN32_FUNCTIONS(X)        \
    TW_WIN32_LINKED_FUNCTIONS(X)     \
    TW_WIN32_WTSAPI32_FUNCTIONS(X)   \
    TW_WIN32_VERSION_FUNCTIONS(X)    \
    TW_WIN32_MSI_FUNCTIONS(X)

#define TW_WIN32_RELEASING_FUNCTIONS(X) \
    X(CloseHandle)                      \
    X(RegCloseKey)                      \
    X(CloseServiceHandle)               \
    X(FreeLibrary)                      \
    X(HeapFree)                         \
    X(CloseDesktop)                     \
    X(DestroyWindow)                    \
    X(MsiCloseHandle)
