#include "tests/support/machine_registry.h"

#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <wtsapi32.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr const wchar_t* kDriverKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr";
constexpr const wchar_t* kHotkeyKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey";

// Deletes a key below HKEY_LOCAL_MACHINE with everything in it.
void DeleteMachineKey(const std::wstring& path)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
}

}  // namespace

ScratchMachineKey::ScratchMachineKey(const std::wstring& path)
    : path_(path), existed_(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, path))
{
    EXPECT_FALSE(existed_) << Narrow(path) << " exists already";
}

ScratchMachineKey::~ScratchMachineKey()
{
    if (!existed_) {
        DeleteMachineKey(path_);
    }
}

void ScratchMachineKey::Set(const std::wstring& name, DWORD type, const void* data, DWORD size) const
{
    RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, path_, name.c_str(), type, data, size);
}

void ScratchMachineKey::SetString(const std::wstring& name, const std::wstring& text) const
{
    Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void ScratchMachineKey::SetDword(const std::wstring& name, DWORD value) const
{
    Set(name, REG_DWORD, &value, sizeof(value));
}

MachineHotkeys::MachineHotkeys()
    : driverKeyExisted_(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, kDriverKey)),
      hotkeyKeyExisted_(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, kHotkeyKey))
{
    if (hotkeyKeyExisted_) {
        HKEY key = nullptr;
        DWORD subkeys = 0;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHotkeyKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        if (subkeys != 0) {
            // Thrown, so that the test neither runs nor removes them.
            throw std::runtime_error("hotkeys are configured on this machine already");
        }
    }
    Clear();
}

MachineHotkeys::~MachineHotkeys()
{
    Clear();
    if (hotkeyKeyExisted_) {
        CreateKey();
    }
    if (!driverKeyExisted_) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDriverKey);
    }
}

void MachineHotkeys::Clear()
{
    DeleteMachineKey(kHotkeyKey);
}

void MachineHotkeys::CreateKey()
{
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, kHotkeyKey);
}

std::wstring MachineHotkeys::Subkey(const std::wstring& hotkey)
{
    return std::wstring(kHotkeyKey) + L"\\" + hotkey;
}

void MachineHotkeys::SetValue(const std::wstring& hotkey, const wchar_t* name, DWORD type, const void* data,
                              DWORD size)
{
    SCOPED_TRACE("hotkey of " + std::to_string(hotkey.size()) + " characters");
    if (name == nullptr) {
        RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, Subkey(hotkey));
    } else {
        RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, Subkey(hotkey), name, type, data, size);
    }
}

void MachineHotkeys::SetRun(const std::wstring& hotkey, const std::wstring& run, DWORD type)
{
    SetValue(hotkey, L"run", type, run.c_str(), static_cast<DWORD>((run.size() + 1) * sizeof(wchar_t)));
}

void MachineHotkeys::SetDword(const std::wstring& hotkey, const wchar_t* name, DWORD value)
{
    SetValue(hotkey, name, REG_DWORD, &value, sizeof(value));
}

std::wstring ConsoleUserPolicyKey()
{
    LPWSTR user = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTSGetActiveConsoleSessionId(), WTSUserName, &user,
                                     &bytes)) {
        return std::wstring();
    }
    const std::wstring name = user;
    WTSFreeMemory(user);
    if (name.empty()) {
        return std::wstring();
    }
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof(sid);
    wchar_t domain[256] = {};
    DWORD domainChars = 256;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountNameW(nullptr, name.c_str(), sid, &sidSize, domain, &domainChars, &use)) {
        return std::wstring();
    }
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return std::wstring();
    }
    const std::wstring key = std::wstring(text) + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    LocalFree(text);
    return key;
}

bool ReadLockPolicy(DWORD& value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_USERS, ConsoleUserPolicyKey(), L"DisableLockWorkstation", type, data) ||
        type != REG_DWORD || data.size() != sizeof(DWORD)) {
        return false;
    }
    std::memcpy(&value, data.data(), sizeof(value));
    return true;
}

ConsoleLockPolicy::ConsoleLockPolicy() : key_(ConsoleUserPolicyKey())
{
    EXPECT_FALSE(key_.empty()) << "no console user";
    existed_ = ReadLockPolicy(saved_);
}

ConsoleLockPolicy::~ConsoleLockPolicy()
{
    if (key_.empty()) {
        return;
    }
    if (existed_) {
        Set(saved_);
    } else {
        RegistrySandbox::DeleteValue(HKEY_USERS, key_, L"DisableLockWorkstation");
    }
}

long long ConsoleLockPolicy::Get() const
{
    DWORD value = 0;
    return ReadLockPolicy(value) ? static_cast<long long>(value) : -1;
}

void ConsoleLockPolicy::Set(DWORD value) const
{
    RegistrySandbox::SetDword(HKEY_USERS, key_, L"DisableLockWorkstation", value);
}
