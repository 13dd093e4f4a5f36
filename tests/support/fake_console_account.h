// Test support: a user made up at the console, with accounts that the
// account-name lookup knows, so that tests can give the console user a domain
// account whose bare name is also a local account's, an Entra ID account, a
// session token that cannot be had, or lookups that fail.
//
// `session` is the console session; its user name and domain name are
// `userName` and `domainName` (empty: nobody is logged on). WTSQueryUserToken
// gives a token of the account `tokenSid` (a new handle value each time, never
// a real one), or fails with `tokenError` when `tokenSid` is empty;
// GetTokenInformation(TokenUser) answers for such a token, and CloseHandle
// closes it. LookupAccountNameW resolves the names of `accounts` exactly as
// written there (a bare name's referenced domain is `localDomain`), and
// fails with `lookupError` for any other. The fields are read at each call.
// The SID strings are converted for real. Every terminal-services buffer,
// token and SID string handed out is tracked until it is freed. What it
// replaced is put back when it is destroyed.
//
// The substitutes keep their books under a lock of their own: CloseHandle
// and LocalFree come from every thread of the code under test. Below a fault
// sweep's injector, what they allocate is not counted (the injector runs
// every substitute inside an AllocationPause); the fake itself does not link
// the failing allocation, which would replace the operator new of every test
// program that uses it.
#pragma once

#include "common/win32_api.h"

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class FakeConsoleAccount {
public:
    FakeConsoleAccount(std::wstring user, std::wstring domain, DWORD consoleSession = 7);
    FakeConsoleAccount(const FakeConsoleAccount&) = delete;
    FakeConsoleAccount& operator=(const FakeConsoleAccount&) = delete;

    std::wstring userName;
    std::wstring domainName;
    std::wstring tokenSid;
    DWORD tokenError = ERROR_PRIVILEGE_NOT_HELD;  // as for a caller that is not LocalSystem
    std::map<std::wstring, std::wstring> accounts;  // account name -> SID string
    std::wstring localDomain = L"LOCALPC";
    DWORD lookupError = ERROR_NONE_MAPPED;
    const DWORD session;

    std::vector<std::wstring> lookups;  // every name looked up, in order
    int tokenQueries = 0;
    int tokensOpen = 0;        // handed out and not closed
    int sessionBuffersOpen = 0;

    // Terminal-services buffers, tokens and SID strings handed out and not
    // freed.
    std::size_t Unreleased() const
    {
        const std::lock_guard<std::mutex> hold(books_);
        return static_cast<std::size_t>(sessionBuffersOpen) + tokens_.size() + sidStrings_.size();
    }

private:
    mutable std::mutex books_;
    KWin32Substitutes substitutes_;
    std::set<HANDLE> tokens_;
    std::size_t tokensGiven_ = 0;
    std::set<void*> sidStrings_;
};

// The console user of the fault sweeps: session 1 with the user "Sweep
// Console User" (a name too long to be kept without an allocation) of the
// domain "SWEEP", whose account has a SID of its own under its bare and its
// qualified name, so that the sweeps do not depend on the machine's user. The
// session's token names that account, or, with `sessionToken` false, cannot
// be had (as for a caller that is not LocalSystem), so that the account is
// found by its qualified name.
class SweepConsoleUser : public FakeConsoleAccount {
public:
    explicit SweepConsoleUser(bool sessionToken = true);

    // The user's policy key below HKEY_USERS.
    static std::wstring PolicyKeyPath();

    static constexpr const wchar_t* kName = L"Sweep Console User";
    static constexpr const wchar_t* kDomain = L"SWEEP";
    static constexpr const wchar_t* kSid = L"S-1-5-21-7-7-7-1001";
};
