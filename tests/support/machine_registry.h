// Test support: the machine's own registry (not a sandbox), for tests of the
// real programs, which read it there. Each object below takes one part of it,
// the test writes what it needs, and the part is put back as it was found
// when the object is destroyed. Such tests run alone (LOCK). The values are
// written with RegistrySandbox's helpers, which write wherever the roots
// point (the real keys when no sandbox is made).
#pragma once

#include <windows.h>

#include <string>

// A key below HKEY_LOCAL_MACHINE that must not exist when the test takes it;
// it is deleted with everything in it at the end.
class ScratchMachineKey {
public:
    explicit ScratchMachineKey(const std::wstring& path);
    ~ScratchMachineKey();
    ScratchMachineKey(const ScratchMachineKey&) = delete;
    ScratchMachineKey& operator=(const ScratchMachineKey&) = delete;

    void Set(const std::wstring& name, DWORD type, const void* data, DWORD size) const;
    void SetString(const std::wstring& name, const std::wstring& text) const;
    void SetDword(const std::wstring& name, DWORD value) const;

private:
    std::wstring path_;
    bool existed_ = false;
};

// The driver's hotkey key. It must hold no hotkeys when a test takes it
// (otherwise the constructor throws, so that the test neither runs nor
// removes them); everything is removed again at the end, and the hotkey key
// and the driver's key are left as they were there (existing or not).
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

// The console user as the tests see it, found with plain Windows calls (not
// through the code under test): the key of the user's lock policy below
// HKEY_USERS, the user's SID string and
// "Software\Microsoft\Windows\CurrentVersion\Policies\System". Empty when
// there is no console user.
std::wstring ConsoleUserPolicyKey();

// The user's "DisableLockWorkstation" below HKEY_USERS; false when it cannot
// be read as a REG_DWORD.
bool ReadLockPolicy(DWORD& value);

// The console user's "DisableLockWorkstation": saved when constructed and
// put back (or removed again) when destroyed.
class ConsoleLockPolicy {
public:
    ConsoleLockPolicy();
    ~ConsoleLockPolicy();
    ConsoleLockPolicy(const ConsoleLockPolicy&) = delete;
    ConsoleLockPolicy& operator=(const ConsoleLockPolicy&) = delete;

    // The current value, or -1 when it cannot be read as a REG_DWORD.
    long long Get() const;
    void Set(DWORD value) const;

private:
    std::wstring key_;
    bool existed_ = false;
    DWORD saved_ = 0;
};
