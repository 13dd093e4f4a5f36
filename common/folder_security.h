// Whether anyone besides SYSTEM, Administrators and TrustedInstaller can
// change a program file, its folder or the folders above it, from the owner
// and access list that the file system keeps for each (GetNamedSecurityInfoW);
// the rules are in common/folder_security_rules.h.
#pragma once

#include "common/folder_security_rules.h"

#include <string>
#include <vector>

// The owner and access list of one file or folder, and who they let change
// it; `error` when they cannot be read.
PathSecurity ReadPathSecurity(const PathStep& step);

// The program file, its folder, the folders above it and the root.
std::vector<PathSecurity> ReadProgramPathSecurity(const std::wstring& programPath);

// A folder, the folders above it and the root (for a folder that is to hold
// programs).
std::vector<PathSecurity> ReadFolderPathSecurity(const std::wstring& folder);

// True only when every step could be read and none lets anyone else change
// it.
bool OnlyTrustedCanChangeProgram(const std::wstring& programPath);

// "BUILTIN\Users" for "S-1-5-32-545" (LookupAccountSidW), or empty when the
// SID names no account that this computer can find.
std::wstring AccountNameOfSid(const std::wstring& sid);
