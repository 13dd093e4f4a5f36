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

// The SID, in string form, of the user logged on at the active console
// session, taken from the session itself: the user of the session's token
// (WTSQueryUserToken, which Windows grants only to LocalSystem); where that
// cannot be had, the account name qualified with the session's domain
// ("DOMAIN\user", as the session reports both; for an Entra ID user the
// domain is "AzureAD"), looked up; where that fails too, the bare user name,
// looked up. A bare name is looked for among the local accounts first, so it
// may name another account than the user's; it is the last resort.
//
// True when the SID was stored in `sid`. `userName`, when given, receives
// the session's bare user name whenever a user is logged on at the console,
// also when no SID was found: on false, an empty `userName` means that
// nobody is logged on there (last error ERROR_SUCCESS), or that the session's
// user name could not be queried (last error the query's). On false `sid` is
// left as it was.
bool GetConsoleUserSid(std::wstring& sid, std::wstring* userName = nullptr);

// The outcome of a write of "DisableLockWorkstation": the step that failed,
// if any, and its error.
struct LockPolicyWrite {
    enum class Step { None, OpenKey, WriteValue };
    Step failed = Step::None;
    LONG error = ERROR_SUCCESS;
    bool Written() const { return failed == Step::None; }
};

// Writes `value` as the "DisableLockWorkstation" (REG_DWORD) of the account
// whose SID string is `sidString`, creating missing keys below its hive under
// HKEY_USERS (which fails when the account's hive is not loaded).
LockPolicyWrite WriteLockWorkstationPolicy(const wchar_t* sidString, DWORD value);

// The same; true only when the value was written.
bool SetLockWorkstationPolicyForSid(const wchar_t* sidString, DWORD value);

// The same for the account named `accountName`, whose SID is looked up first.
bool SetLockWorkstationPolicy(const wchar_t* accountName, DWORD value);
