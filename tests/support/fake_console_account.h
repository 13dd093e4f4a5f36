// Test support: a user made up at the console, with accounts that the
// account-name lookup knows, so that tests can give the console user a domain
// account whose bare name is also a local account's, an Entra ID account, a
// session token that cannot be had, or lookups that fail.
//
// Session 7 is the console session; its user name and domain name are
// `userName` and `domainName` (empty: nobody is logged on). WTSQueryUserToken
// gives a token of the account `tokenSid`, or fails with `tokenError` when
// `tokenSid` is empty; GetTokenInformation(TokenUser) answers for that token,
// and CloseHandle closes it. LookupAccountNameW resolves the names of
// `accounts` exactly as written there, and fails with `lookupError` for any
// other. The fields are read at each call. What it replaced is put back when
// it is destroyed; the SID strings are converted for real.
#pragma once

#include "common/win32_api.h"

#include <map>
#include <string>
#include <vector>

class FakeConsoleAccount {
public:
    FakeConsoleAccount(std::wstring user, std::wstring domain);
    FakeConsoleAccount(const FakeConsoleAccount&) = delete;
    FakeConsoleAccount& operator=(const FakeConsoleAccount&) = delete;

    std::wstring userName;
    std::wstring domainName;
    std::wstring tokenSid;
    DWORD tokenError = ERROR_PRIVILEGE_NOT_HELD;  // as for a caller that is not LocalSystem
    std::map<std::wstring, std::wstring> accounts;  // account name -> SID string
    DWORD lookupError = ERROR_NONE_MAPPED;

    std::vector<std::wstring> lookups;  // every name looked up, in order
    int tokenQueries = 0;
    int tokensOpen = 0;        // handed out and not closed
    int sessionBuffersOpen = 0;

private:
    Win32Substitutes substitutes_;
};
