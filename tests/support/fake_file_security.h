// The owners and access lists of files and folders, in the seam: Wine keeps
// none (GetNamedSecurityInfoW reports every file owned by the Wine user, who
// may do anything with it, and SetNamedSecurityInfoW changes nothing), so a
// test gives them here. GetNamedSecurityInfoW gives, for each path, the
// security descriptor made from its text (SDDL): the one set for that path,
// else the default. What it gives is freed with LocalFree (what else
// LocalFree is given goes where it went before).
#pragma once

#include "common/win32_api.h"

#include <map>
#include <set>
#include <string>
#include <vector>

class FakeFileSecurity {
public:
    // A protected folder of programs: owned by Administrators, SYSTEM and
    // Administrators every right, Users read and run, nothing inherited.
    static const wchar_t* const kProtected;

    explicit FakeFileSecurity(const std::wstring& defaultSddl = kProtected);
    ~FakeFileSecurity();
    FakeFileSecurity(const FakeFileSecurity&) = delete;
    FakeFileSecurity& operator=(const FakeFileSecurity&) = delete;

    std::wstring defaultSddl;
    std::map<std::wstring, std::wstring> sddl;  // by path, exactly as asked
    std::map<std::wstring, DWORD> errors;       // paths whose security cannot be read

    std::vector<std::wstring> asked;  // every path asked for, in order
    size_t Unfreed() const { return descriptors_.size(); }

private:
    KWin32Substitutes substitutes_;
    std::set<void*> descriptors_;
};
