#include "tests/tools/key_security.h"

#include <gtest/gtest.h>

#include <sddl.h>

KeySecurity::KeySecurity(HKEY root, const std::wstring& path, const wchar_t* sddl) : root_(root), path_(path)
{
    Apply(sddl);
}

KeySecurity::~KeySecurity()
{
    Apply(L"D:(A;OICI;KA;;;WD)");
}

void KeySecurity::Apply(const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(root_, path_.c_str(), 0, WRITE_DAC, &key);
    EXPECT_EQ(opened, ERROR_SUCCESS);
    if (opened == ERROR_SUCCESS) {
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
}
