#include "common/lock_policy.h"

#include "common/handles.h"

#include <cstdio>
#include <cwchar>

namespace {

// A text of the session's information (user name, domain name). True when a
// non-empty text was stored in `text`; on false it is left as it was, and the
// last error is ERROR_SUCCESS when the text is empty, the query's error when
// it failed.
bool QuerySessionText(DWORD session, WTS_INFO_CLASS infoClass, std::wstring& text)
{
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!win32.WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, infoClass, &buffer, &bytes)) {
        return false;
    }
    KWtsString owned(buffer);
    if (buffer == nullptr || buffer[0] == L'\0') {
        win32.SetLastError(ERROR_SUCCESS);  // an answer: there is no such text
        return false;
    }
    text = buffer;
    return true;
}

// `sid` in string form, into a buffer of kSidStringChars.
bool SidToString(PSID sid, wchar_t* sidString)
{
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

// The user of the session's primary token. Windows gives the token only to a
// caller that runs as LocalSystem with SE_TCB_NAME; anyone else gets
// ERROR_PRIVILEGE_NOT_HELD. The caller closes the token.
bool SessionTokenUser(DWORD session, wchar_t* sidString)
{
    KHandle token;
    if (!win32.WTSQueryUserToken(session, token.put())) {
        return false;
    }
    // TOKEN_USER and the SID it points to, which follows it in the buffer;
    // no SID is larger than SECURITY_MAX_SID_SIZE.
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!win32.GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) {
        return false;
    }
    return SidToString(reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid, sidString);
}

}  // namespace

bool GetConsoleUserName(std::wstring& userName)
{
    const DWORD session = win32.WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) {
        return false;
    }
    return QuerySessionText(session, WTSUserName, userName);
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
    return SidToString(sid, sidString);
}

bool GetConsoleUserSid(std::wstring& sid, std::wstring* userName)
{
    const DWORD session = win32.WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) {
        // Microsoft: no session is attached to the console; nobody is there.
        win32.SetLastError(ERROR_SUCCESS);
        return false;
    }
    // One session throughout: every answer is about the same logon.
    std::wstring user;
    if (!QuerySessionText(session, WTSUserName, user)) {
        return false;
    }
    wchar_t found[kSidStringChars] = {};
    bool known = SessionTokenUser(session, found);
    if (!known) {
        // Microsoft documents "domain_name\user_name" as the form that finds
        // the account in the domain meant.
        std::wstring domain;
        if (QuerySessionText(session, WTSDomainName, domain)) {
            known = GetAccountSidString((domain + L"\\" + user).c_str(), found);
        }
    }
    if (!known) {
        known = GetAccountSidString(user.c_str(), found);
    }
    if (known) {
        sid = found;
    }
    if (userName != nullptr) {
        userName->swap(user);
    }
    return known;
}

LockPolicyWrite WriteLockWorkstationPolicy(const wchar_t* sidString, DWORD value)
{
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(sidString, path);

    LockPolicyWrite outcome;
    KReg reg;
    DWORD disposition = 0;
    const LONG created = win32.RegCreateKeyExW(HKEY_USERS, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_ALL_ACCESS, nullptr, &reg.key, &disposition);
    if (created != ERROR_SUCCESS) {
        outcome.failed = LockPolicyWrite::Step::OpenKey;
        outcome.error = created;
        return outcome;
    }
    const LONG written = win32.RegSetValueExW(reg.key, kDisableLockWorkstation, 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&value), sizeof(value));
    win32.RegFlushKey(reg.key);
    reg.Close();
    if (written != ERROR_SUCCESS) {
        outcome.failed = LockPolicyWrite::Step::WriteValue;
        outcome.error = written;
    }
    return outcome;
}

bool SetLockWorkstationPolicyForSid(const wchar_t* sidString, DWORD value)
{
    return WriteLockWorkstationPolicy(sidString, value).Written();
}

bool SetLockWorkstationPolicy(const wchar_t* accountName, DWORD value)
{
    wchar_t sidString[kSidStringChars] = {};
    if (!GetAccountSidString(accountName, sidString)) {
        return false;
    }
    return SetLockWorkstationPolicyForSid(sidString, value);
}
