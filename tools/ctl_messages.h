// TarnwickCtl's messages about failed Windows calls.
#pragma once

#include "common/error_text.h"

#include <string>

// One line for the error output: "TarnwickCtl: <what> (<error text>)", then
// what to do: "run it from an elevated prompt" when access was denied,
// otherwise `advice` when it is not empty.
std::wstring FormatFailure(const std::wstring& what, DWORD error, const std::wstring& advice = std::wstring());

// "HKEY_LOCAL_MACHINE\" + path.
std::wstring QualifyMachinePath(const std::wstring& path);
