// TarnwickCtl's messages about failed Windows calls.
#pragma once

#include <windows.h>

#include <string>

// "error 5: Access is denied", the system's text of a Win32 error.
std::wstring ErrorText(DWORD error);

// One line for the error output: "TarnwickCtl: <what> (<error text>)", then
// what to do: "run it from an elevated prompt" when access was denied,
// otherwise `advice` when it is not empty.
std::wstring FailureMessage(const std::wstring& what, DWORD error, const std::wstring& advice = std::wstring());

// "HKEY_LOCAL_MACHINE\" + path.
std::wstring MachinePath(const std::wstring& path);

// What the service's exit code means: its own meaning at a failed start
// ("ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used"), or
// the error's name and the system's text.
std::wstring ServiceExitCodeText(DWORD exitCode);
