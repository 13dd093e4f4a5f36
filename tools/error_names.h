// Names of the Win32 errors that TarnwickCtl reports, and what the service's
// exit codes mean. Needs no Windows header.
#pragma once

#include <cstdint>
#include <string>

// "ERROR_BAD_CONFIGURATION" for 1610; empty for an error not listed.
std::wstring Win32ErrorName(std::uint32_t error);

// "error 5 (ERROR_ACCESS_DENIED)", or "error 1234" for one not listed.
std::wstring ErrorLabel(std::uint32_t error);

// What it means when the service reports `exitCode` at a start that failed:
// "ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used". Empty
// for a code whose meaning is only the system's text.
std::wstring ServiceExitCodeMeaning(std::uint32_t exitCode);
