// Test support: redirects HKEY_LOCAL_MACHINE and HKEY_USERS of this process
// to fresh scratch keys, so that tests write real registry values without
// touching the machine's configuration or each other.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // Writes a value below HKEY_LOCAL_MACHINE (or another redirected root),
    // creating missing keys. Fails the test on error.
    static void SetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
                         DWORD size);
    static void SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value);
    static void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value,
                          DWORD type = REG_SZ);
    static void CreateKey(HKEY root, const std::wstring& path);
    static void DeleteValue(HKEY root, const std::wstring& path, const wchar_t* name);

    // Reads a value; false when it cannot be read.
    static bool GetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& type,
                         std::vector<BYTE>& data);
    static bool KeyExists(HKEY root, const std::wstring& path);

private:
    std::wstring base_;
    HKEY machine_ = nullptr;
    HKEY users_ = nullptr;
};

// A hotkey subkey of the driver's key, below the redirected machine root.
std::wstring HotkeySubkey(const std::wstring& name);
