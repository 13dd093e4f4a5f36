#include "common/lock_policy.h"

#include "common/handles.h"

#include <cstdio>
#include <cwchar>

bool GetConsoleUserName(std::wstring& userName)
{
    const DWORD session = win32.WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) {
        return false;
    }
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!win32.WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &buffer, &bytes)) {
        return false;
    }
    KWtsString owned(buffer);
    if (buffer == nullptr || buffer[0] == L'\0') {
        return false;
    }
    userName = buffer;
    return true;
}

bool GetAccountSidString(const wchar_t* accountName, wchar_t* sidString)
{
    BYTE sid[100] = {};
    DWORD sidSize = sizeof(sid);
    wchar_t domain[80] = {};
    DWORD domainChars = 80;
    SID_NAME_USE use = SidTypeUnknown;
    if (!win32.LookupAccountNameW(nullptr, accountName, sid, &sidSize, domain, &domainChars, &use)) {
        return false;
    }
    LPWSTR converted = nullptr;
    if (!win32.ConvertSidToStringSidW(sid, &converted) || converted == nullptr) {
        return false;
    }
    KLocalString owned(converted);
    const size_t length = wcslen(converted);
    if (length >= kSidStringChars) {
        return false;
    }
    wmemcpy(sidString, converted, length + 1);
    return true;
}

bool SetLockWorkstationPolicy(const wchar_t* accountName, DWORD value)
{
    wchar_t sidString[kSidStringChars] = {};
    if (!GetAccountSidString(accountName, sidString)) {
        return false;
    }
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(sidString, path);

    KReg reg;
    DWORD disposition = 0;
    const LONG created = win32.RegCreateKeyExW(HKEY_USERS, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_ALL_ACCESS, nullptr, &reg.key, &disposition);
    if (created != ERROR_SUCCESS) {
        return false;
    }
    const LONG written = win32.RegSetValueExW(reg.key, kDisableLockWorkstation, 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&value), sizeof(value));
    win32.RegFlushKey(reg.key);
    reg.Close();
    return written == ERROR_SUCCESS;
}
