#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

namespace {

int NextSandboxNumber()
{
    static int counter = 0;
    return ++counter;
}

}  // namespace

RegistrySandbox::RegistrySandbox()
{
    base_ = L"Software\\TarnwickTests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(NextSandboxNumber());
    const std::wstring machine = base_ + L"\\machine";
    const std::wstring users = base_ + L"\\users";
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, machine.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &machine_,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, users.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &users_,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(HKEY_USERS, users_), ERROR_SUCCESS);
}

RegistrySandbox::~RegistrySandbox()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_USERS, nullptr);
    RegCloseKey(machine_);
    RegCloseKey(users_);
    RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, base_.c_str());
}

void RegistrySandbox::CreateKey(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegistrySandbox::SetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
                               const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegistrySandbox::SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value)
{
    SetValue(root, path, name, REG_DWORD, &value, sizeof(value));
}

void RegistrySandbox::SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value,
                                DWORD type)
{
    SetValue(root, path, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RegistrySandbox::DeleteValue(HKEY root, const std::wstring& path, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

bool RegistrySandbox::GetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& type,
                               std::vector<BYTE>& data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        data.assign(size, 0);
        result = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool RegistrySandbox::KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring HotkeySubkey(const std::wstring& name)
{
    return L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\" + name;
}
