#include "tests/support/console_lock_policy.h"

#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <wtsapi32.h>

#include <cstring>
#include <vector>

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
        RegDeleteKeyValueW(HKEY_USERS, key_.c_str(), L"DisableLockWorkstation");
    }
}

long long ConsoleLockPolicy::Get() const
{
    DWORD value = 0;
    return ReadLockPolicy(value) ? static_cast<long long>(value) : -1;
}

void ConsoleLockPolicy::Set(DWORD value) const
{
    EXPECT_EQ(RegSetKeyValueW(HKEY_USERS, key_.c_str(), L"DisableLockWorkstation", REG_DWORD, &value, sizeof(value)),
              ERROR_SUCCESS);
}
