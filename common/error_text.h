// The system's text of a Win32 error, and the messages built on it, through
// the win32 table. The wording itself is common/error_names.h's.
#pragma once

#include "common/error_names.h"
#include "common/win32_api.h"

#include <string>

// The system's description of `error` in the user's language ("Access is
// denied"), without the line break and the full stop at its end; empty when
// the system has none.
std::wstring ReadSystemErrorText(DWORD error);

// "error 5: Access is denied", or "error 1234" when the system has no text.
std::wstring ExplainError(DWORD error);

// What the service's exit code means: its own meaning at a failed start
// ("ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used"), or
// the error's name and the system's text.
std::wstring DescribeServiceExitCode(DWORD exitCode);
