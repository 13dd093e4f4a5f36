// The console user as the tests see it, found with plain Windows calls (not
// through the code under test): where that user's lock policy lives.
#pragma once

#include <windows.h>

#include <string>

// The key of the console user's lock policy below HKEY_USERS: the user's SID
// string and "Software\Microsoft\Windows\CurrentVersion\Policies\System".
// Empty when there is no console user.
std::wstring ConsoleUserPolicyKey();

// The user's "DisableLockWorkstation" below HKEY_USERS; false when it cannot
// be read as a REG_DWORD.
bool ReadLockPolicy(DWORD& value);
