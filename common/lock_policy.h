// The per-user "DisableLockWorkstation" policy value and the console user.
#pragma once

#include "common/lock_policy_path.h"
#include "common/win32_api.h"

#include <string>


// The user name of the active console session. True when a non-empty name was
// stored in `userName`; on false it is left as it was.
bool GetConsoleUserName(std::wstring& userName);

// The SID of `accountName` in string form, into a buffer of kSidStringChars.
// On false the buffer must not be used.
bool GetAccountSidString(const wchar_t* accountName, wchar_t* sidString);

// Writes `value` as the account's "DisableLockWorkstation" (REG_DWORD),
// creating missing keys. True only when the value was written.
bool SetLockWorkstationPolicy(const wchar_t* accountName, DWORD value);
