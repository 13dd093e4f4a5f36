// The one wording of a Win32 error in every message of the tools and the
// package ("error 5 (ERROR_ACCESS_DENIED)", "error 5: Access is denied"), the
// names of the errors they report, and the table of what the service's exit
// codes mean. Needs no Windows header; the system's own text of an error is
// read in common/error_text.h.
#pragma once

#include <cstdint>
#include <string>

// The Win32 errors that the rules without Windows headers test for, with the
// values that winerror.h gives them.
constexpr std::uint32_t kErrorFileNotFound = 2;            // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorAccessDenied = 5;            // ERROR_ACCESS_DENIED
constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;  // ERROR_SERVICE_DOES_NOT_EXIST
constexpr std::uint32_t kErrorBadConfiguration = 1610;     // ERROR_BAD_CONFIGURATION

// "ERROR_BAD_CONFIGURATION" for 1610; empty for an error not listed.
std::wstring NameWin32Error(std::uint32_t error);

// The wording of `error`: "error 5", followed by " (ERROR_ACCESS_DENIED)"
// when `withName` and the error is listed, and by ": " and `systemText` when
// that is not empty.
std::wstring DescribeError(std::uint32_t error, bool withName, const std::wstring& systemText);

// "error 5 (ERROR_ACCESS_DENIED)", or "error 1234" for one not listed.
std::wstring LabelError(std::uint32_t error);

// The system's text of an error as FormatMessageW gives it, without the
// line break and the full stop at its end: "Access is denied".
std::wstring TrimSystemText(std::wstring text);

// What it means when the service reports `exitCode` at a start that failed:
// "ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used". Empty
// for a code whose meaning is only the system's text.
std::wstring ExplainServiceExitCode(std::uint32_t exitCode);

// What the service's exit code means: its own meaning at a failed start;
// otherwise the error's name and `systemText` ("NAME: text"), whichever of
// the two there is. Empty when there is neither.
std::wstring ComposeServiceExitCodeText(std::uint32_t exitCode, const std::wstring& systemText);

// "1610 (ERROR_BAD_CONFIGURATION: ...)": the exit code, and what it means in
// brackets when `meaning` is not empty.
std::wstring DescribeExitCode(std::uint32_t exitCode, const std::wstring& meaning);

// True for the exit codes that the service gives when its hotkey
// configuration is at fault (the key missing or unreadable, a hotkey that
// cannot be used): `TarnwickCtl check` tells why.
bool IsConfigurationFault(std::uint32_t exitCode);
