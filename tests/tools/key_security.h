// Test support: a security descriptor on a key below a redirected registry
// root, for tests of what happens when access is denied.
#pragma once

#include <windows.h>

#include <string>

// Sets the DACL given in SDDL on the key, and gives everyone full access
// again when it goes out of scope, so that the sandbox can remove the key.
class KeySecurity {
public:
    KeySecurity(HKEY root, const std::wstring& path, const wchar_t* sddl);
    ~KeySecurity();
    KeySecurity(const KeySecurity&) = delete;
    KeySecurity& operator=(const KeySecurity&) = delete;

private:
    void Apply(const wchar_t* sddl);

    HKEY root_;
    std::wstring path_;
};
