// Test support: who owns the named objects the code under test looks at.
#pragma once

#include <string>

// Makes win32.GetSecurityInfo report `ownerSid` (a SID string) as the owner
// of every kernel object asked about, in a descriptor that the caller frees
// with LocalFree (as Windows gives it), and makes win32.IsWellKnownSid real.
// Needs a KWin32Override alive in the caller.
void ReportEveryObjectOwnedBy(const std::wstring& ownerSid);
