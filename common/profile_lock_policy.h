// Gives every user profile of the PC back the lock: "DisableLockWorkstation"
// from 1 to 0 in each profile's hive, loaded or not.
#pragma once

#include "common/profile_reset_rules.h"
#include "common/win32_api.h"

// For every user profile of the PC (the subkeys of kProfileListKeyPath that
// IsUserProfileSid accepts), sets a "DisableLockWorkstation" of 1 to 0:
// - in the hive where it is loaded (HKEY_USERS\<SID>: its user is logged on,
//   or another program holds it);
// - otherwise in the profile's hive file (NTUSER.DAT in its
//   "ProfileImagePath"), loaded under a temporary name below HKEY_USERS for
//   the moment of the write and unloaded again on every path. Loading and
//   unloading need the backup and restore privileges, which are enabled on
//   the process's token before the first load and put back as they were at
//   the end (LocalSystem holds them, and so does an elevated administrator).
// A value that is absent, or other than the REG_DWORD 1, stays as it is. A
// profile whose hive file is missing or cannot be loaded is skipped. Memory
// that runs out escapes as std::bad_alloc, after every hive loaded here has
// been unloaded and the privileges put back.
ProfilesReset LowerLockPolicyOfEveryProfile();

// A "DisableLockWorkstation" of 1 in `keyPath` below `root` (a user's policy
// key) goes to 0; anything else stays. `reset.outcome` tells what was done,
// and `failure` and `error` which step failed.
void LowerLockPolicyValue(HKEY root, const wchar_t* keyPath, ProfileReset& reset);
