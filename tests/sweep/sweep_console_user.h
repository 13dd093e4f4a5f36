// A console user for the fault sweeps: session 1 with the user "Sweep Console
// User" (a name too long to be kept without an allocation) of the domain
// "SWEEP", whose account has a SID of its own, so that the sweeps do not
// depend on the machine's user. The session's token names that account, or,
// with `sessionToken` false, cannot be had (as for a caller that is not
// LocalSystem), so that the account is found by its qualified name. Every
// terminal-services buffer, token and SID string handed out is tracked until
// it is freed.
#pragma once

#include "common/win32_api.h"

#include <set>
#include <string>
#include <vector>

class SweepConsoleUser {
public:
    explicit SweepConsoleUser(bool sessionToken = true);
    SweepConsoleUser(const SweepConsoleUser&) = delete;
    SweepConsoleUser& operator=(const SweepConsoleUser&) = delete;

    // Terminal-services buffers, tokens and SID strings handed out and not
    // freed.
    std::size_t Unreleased() const { return sessionBuffers_.size() + tokens_.size() + sidStrings_.size(); }
    // The user's policy key below HKEY_USERS.
    std::wstring PolicyKeyPath() const;

    static constexpr const wchar_t* kName = L"Sweep Console User";
    static constexpr const wchar_t* kDomain = L"SWEEP";
    static constexpr const wchar_t* kSid = L"S-1-5-21-7-7-7-1001";

private:
    Win32Substitutes substitutes_;
    std::vector<BYTE> sid_;
    std::set<void*> sessionBuffers_;
    std::set<HANDLE> tokens_;
    std::size_t tokensGiven_ = 0;
    std::set<void*> sidStrings_;
};
