// Test support: the machine's own hotkey key (not a sandbox), for tests of
// the real programs. It must hold no hotkeys when a test takes it; the test
// writes what it needs, and everything is removed again at the end (keys
// that did not exist before included). Such tests run alone (LOCK).
#pragma once

#include <windows.h>

#include <string>

class MachineHotkeys {
public:
    MachineHotkeys();
    ~MachineHotkeys();
    MachineHotkeys(const MachineHotkeys&) = delete;
    MachineHotkeys& operator=(const MachineHotkeys&) = delete;

    // Removes the hotkey key with everything in it.
    static void Clear();
    // The hotkey key, without subkeys.
    static void CreateKey();
    // Writes a value of the hotkey (creating its subkey); a null name only
    // creates the subkey.
    static void SetValue(const std::wstring& hotkey, const wchar_t* name, DWORD type, const void* data, DWORD size);
    static void SetRun(const std::wstring& hotkey, const std::wstring& run, DWORD type = REG_SZ);
    static void SetDword(const std::wstring& hotkey, const wchar_t* name, DWORD value);
    // The subkey's path below HKEY_LOCAL_MACHINE.
    static std::wstring Subkey(const std::wstring& hotkey);

private:
    bool driverKeyExisted_ = false;
    bool hotkeyKeyExisted_ = false;
};
