// The per-user "DisableLockWorkstation" policy value and the console user.
#pragma once

#include "common/win32_api.h"

#include <string>

// Size of the buffer that receives a SID string (255 characters and NUL).
constexpr size_t kSidStringChars = 256;

// Key below the user's SID-string key under HKEY_USERS that holds the value.
constexpr const wchar_t* kPolicySystemKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const wchar_t* kDisableLockWorkstation = L"DisableLockWorkstation";

// The user name of the active console session. True when a non-empty name was
// stored in `userName`; on false it is left as it was.
bool GetConsoleUserName(std::wstring& userName);

// The SID of `accountName` in string form, into a buffer of kSidStringChars.
// On false the buffer must not be used.
bool GetAccountSidString(const wchar_t* accountName, wchar_t* sidString);

// Writes `value` as the account's "DisableLockWorkstation" (REG_DWORD),
// creating missing keys. True only when the value was written.
bool SetLockWorkstationPolicy(const wchar_t* accountName, DWORD value);
