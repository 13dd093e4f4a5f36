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

// The console user's "DisableLockWorkstation" in the machine's real registry:
// saved when constructed and put back (or removed again) when destroyed, so
// that tests of the real programs leave it as they found it.
class ConsoleLockPolicy {
public:
    ConsoleLockPolicy();
    ~ConsoleLockPolicy();
    ConsoleLockPolicy(const ConsoleLockPolicy&) = delete;
    ConsoleLockPolicy& operator=(const ConsoleLockPolicy&) = delete;

    // The current value, or -1 when it cannot be read as a REG_DWORD.
    long long Get() const;
    void Set(DWORD value) const;

private:
    std::wstring key_;
    bool existed_ = false;
    DWORD saved_ = 0;
};
