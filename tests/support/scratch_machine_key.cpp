#include "tests/support/scratch_machine_key.h"

#include "tests/support/narrow_text.h"

#include <gtest/gtest.h>

ScratchMachineKey::ScratchMachineKey(const std::wstring& path) : path_(path)
{
    HKEY existing = nullptr;
    existed_ = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &existing) == ERROR_SUCCESS;
    if (existing != nullptr) {
        RegCloseKey(existing);
    }
    EXPECT_FALSE(existed_) << Narrow(path) << " exists already";
}

ScratchMachineKey::~ScratchMachineKey()
{
    if (!existed_) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, path_.c_str());
    }
}

void ScratchMachineKey::Set(const std::wstring& name, DWORD type, const void* data, DWORD size) const
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void ScratchMachineKey::SetString(const std::wstring& name, const std::wstring& text) const
{
    Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void ScratchMachineKey::SetDword(const std::wstring& name, DWORD value) const
{
    Set(name, REG_DWORD, &value, sizeof(value));
}
