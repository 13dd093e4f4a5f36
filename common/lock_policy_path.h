// Where a user's "DisableLockWorkstation" lives below HKEY_USERS. Needs no
// Windows header.
#pragma once

#include <cstddef>

// Below the user's SID-string key.
constexpr const wchar_t* kPolicySystemKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const wchar_t* kDisableLockWorkstation = L"DisableLockWorkstation";

// Size of the buffer that receives a SID string (255 characters and NUL).
constexpr std::size_t kSidStringChars = 256;
// Size of the buffer that receives the key path; the longest path (a SID
// string of 255 characters) takes 313 of them.
constexpr std::size_t kLockPolicyPathChars = 1024;

// Formats the key path below HKEY_USERS: the SID string, a backslash, then
// kPolicySystemKey. Allocates nothing.
void FormatLockPolicyKeyPath(const wchar_t* sidString, wchar_t (&path)[kLockPolicyPathChars]);
