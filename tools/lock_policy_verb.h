// TarnwickCtl lock-policy: the console user's "DisableLockWorkstation",
// shown, or set through the same code that the two programs use; and every
// user profile's, given back the lock as removal does.
#pragma once

#include "tools/ctl_args.h"
#include "tools/ctl_output.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A user's "DisableLockWorkstation" as found in the registry.
struct LockPolicyReading {
    bool sidFound = false;
    DWORD sidError = 0;        // when the SID could not be found
    std::wstring sid;
    std::wstring keyPath;      // below HKEY_USERS
    LONG result = ERROR_SUCCESS;  // of opening the key and reading the value
    DWORD type = 0;
    std::vector<std::uint8_t> data;

    bool Present() const { return sidFound && result == ERROR_SUCCESS; }
    bool Absent() const { return sidFound && result == ERROR_FILE_NOT_FOUND; }
    // The number, when the value is a REG_DWORD of four bytes.
    bool Number(DWORD& value) const;
};

// The console user's name and that user's value, the SID found through the
// session (GetConsoleUserSid). False when nobody is logged on at the console.
bool ReadConsoleUserLockPolicy(std::wstring& user, LockPolicyReading& reading);

// lock-policy [0|1]. Without a console user: a message and 1.
// lock-policy 0 --all-users: one line per user profile; 1 when a profile
// was skipped or the profiles could not be listed.
int RunLockPolicyVerb(const CtlCommand& command, KCtlOutput& output);
