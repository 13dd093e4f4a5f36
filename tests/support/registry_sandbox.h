// Test support: redirects HKEY_LOCAL_MACHINE and HKEY_USERS of this process
// to fresh scratch keys below HKEY_CURRENT_USER\Software\TarnwickTests, so
// that tests write real registry values without touching the machine's
// configuration or each other.
//
// - A redirection that cannot be installed fails the test and ends it (the
//   constructor throws), so that no test goes on to write the real keys.
// - A sandbox made inside another one puts the other one's redirection back
//   when it ends; sandboxes end in the reverse order of their making.
// - Making a sandbox removes the scratch keys that runs of processes which
//   no longer exist left behind (a crashed test program).
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

// Every key and value below a key: "path\\name" of each value with its type
// and data, and "path\\" of each key (the key itself included) with
// REG_NONE and no data, or its last write time as data when asked for.
using KeyDump = std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>;

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
    // Everything below `path` (empty when it cannot be opened); with
    // `writeTimes`, a rewrite of a value as it was shows too.
    static KeyDump Dump(HKEY root, const std::wstring& path, bool writeTimes = false);

private:
    void RemoveScratchKeys();

    std::wstring base_;
    HKEY machine_ = nullptr;
    HKEY users_ = nullptr;
    RegistrySandbox* outer_ = nullptr;
};

// A hotkey subkey of the driver's key, below the redirected machine root.
std::wstring HotkeySubkey(const std::wstring& name);
