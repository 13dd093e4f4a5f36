#include "tests/tools/machine_hotkeys.h"

#include <gtest/gtest.h>

namespace {

constexpr const wchar_t* kDriverKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr";
constexpr const wchar_t* kHotkeyKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey";

bool KeyExists(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace

MachineHotkeys::MachineHotkeys()
{
    driverKeyExisted_ = KeyExists(kDriverKey);
    hotkeyKeyExisted_ = KeyExists(kHotkeyKey);
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
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kHotkeyKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kHotkeyKey);
}

void MachineHotkeys::CreateKey()
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHotkeyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::wstring MachineHotkeys::Subkey(const std::wstring& hotkey)
{
    return std::wstring(kHotkeyKey) + L"\\" + hotkey;
}

void MachineHotkeys::SetValue(const std::wstring& hotkey, const wchar_t* name, DWORD type, const void* data,
                              DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Subkey(hotkey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS)
        << "hotkey of " << hotkey.size() << " characters";
    if (name != nullptr) {
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

void MachineHotkeys::SetRun(const std::wstring& hotkey, const std::wstring& run, DWORD type)
{
    SetValue(hotkey, L"run", type, run.c_str(), static_cast<DWORD>((run.size() + 1) * sizeof(wchar_t)));
}

void MachineHotkeys::SetDword(const std::wstring& hotkey, const wchar_t* name, DWORD value)
{
    SetValue(hotkey, name, REG_DWORD, &value, sizeof(value));
}
