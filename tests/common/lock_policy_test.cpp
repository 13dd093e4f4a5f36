#include "common/handles.h"
#include "common/lock_policy.h"
#include "tests/support/machine_registry.h"
#include "tests/support/fake_console_account.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

std::wstring PolicyKeyOf(const std::wstring& sid)
{
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(sid.c_str(), path);
    return path;
}

// The console user as Wine reports it (the Linux user) and its SID string.
struct ConsoleUser {
    std::wstring name;
    std::wstring sid;
};

ConsoleUser RealConsoleUser()
{
    ConsoleUser user;
    EXPECT_TRUE(GetConsoleUserName(user.name));
    wchar_t sid[kSidStringChars] = {};
    EXPECT_TRUE(GetAccountSidString(user.name.c_str(), sid));
    user.sid = sid;
    return user;
}

// A string allocated with LocalAlloc, as ConvertSidToStringSidW returns it.
wchar_t* LocalString(const std::wstring& text)
{
    auto* copy = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(wchar_t)));
    wmemcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

class LockPolicy : public ::testing::Test {
protected:
    bool ReadPolicy(const std::wstring& sid, DWORD& type, std::vector<BYTE>& data)
    {
        return RegistrySandbox::GetValue(HKEY_USERS, PolicyKeyOf(sid), kDisableLockWorkstation, type, data);
    }

    RegistrySandbox sandbox;
    KWin32Override api;
};

TEST_F(LockPolicy, WritesAFourByteDwordCreatingMissingKeysEveryTime)
{
    const ConsoleUser user = RealConsoleUser();
    ASSERT_FALSE(user.name.empty());
    ASSERT_FALSE(RegistrySandbox::KeyExists(HKEY_USERS, user.sid));

    int writes = 0;
    int flushes = 0;
    const auto realSet = win32.RegSetValueExW;
    win32.RegSetValueExW = [&](HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
        ++writes;
        return realSet(key, name, reserved, type, data, size);
    };
    const auto realFlush = win32.RegFlushKey;
    win32.RegFlushKey = [&](HKEY key) {
        ++flushes;
        return realFlush(key);
    };

    const DWORD values[] = {1, 1, 0, 0x12345678};
    for (DWORD value : values) {
        SCOPED_TRACE(value);
        EXPECT_TRUE(SetLockWorkstationPolicy(user.name.c_str(), value));
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(ReadPolicy(user.sid, type, data));
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        ASSERT_EQ(data.size(), 4u);
        DWORD stored = 0;
        memcpy(&stored, data.data(), 4);
        EXPECT_EQ(stored, value);
    }
    // The same number is written again rather than skipped.
    EXPECT_EQ(writes, 4);
    EXPECT_EQ(flushes, 4);
}

TEST_F(LockPolicy, OneThenZeroLeavesZero)
{
    const ConsoleUser user = RealConsoleUser();
    EXPECT_TRUE(SetLockWorkstationPolicy(user.name.c_str(), 1));
    EXPECT_TRUE(SetLockWorkstationPolicy(user.name.c_str(), 0));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadPolicy(user.sid, type, data));
    EXPECT_EQ(data, (std::vector<BYTE>{0, 0, 0, 0}));
}

TEST_F(LockPolicy, AnAccountThatCannotBeLookedUpTouchesNoKey)
{
    bool created = false;
    win32.RegCreateKeyExW = [&](HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY,
                                LPDWORD) -> LONG {
        created = true;
        return ERROR_ACCESS_DENIED;
    };
    // An unknown account, as the system's own lookup reports it.
    EXPECT_FALSE(SetLockWorkstationPolicy(L"no-such-account-tarnwick", 1));
    // A lookup that fails for any other reason.
    const std::wstring user = RealConsoleUser().name;
    win32.LookupAccountNameW = [](LPCWSTR, LPCWSTR, PSID, LPDWORD, LPWSTR, LPDWORD, PSID_NAME_USE) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    };
    EXPECT_FALSE(SetLockWorkstationPolicy(user.c_str(), 1));
    EXPECT_FALSE(created);
}

TEST_F(LockPolicy, AKeyThatCannotBeCreatedWritesNothing)
{
    const ConsoleUser user = RealConsoleUser();
    bool written = false;
    win32.RegCreateKeyExW = [](HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY,
                               LPDWORD) -> LONG { return ERROR_ACCESS_DENIED; };
    win32.RegSetValueExW = [&](HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) -> LONG {
        written = true;
        return ERROR_SUCCESS;
    };
    EXPECT_FALSE(SetLockWorkstationPolicy(user.name.c_str(), 1));
    EXPECT_FALSE(written);
}

TEST_F(LockPolicy, AFailedWriteIsReportedAndTheKeyStillFlushedAndClosed)
{
    const ConsoleUser user = RealConsoleUser();
    std::vector<std::string> calls;
    win32.RegSetValueExW = [&](HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) -> LONG {
        calls.push_back("set");
        return ERROR_ACCESS_DENIED;
    };
    const auto realFlush = win32.RegFlushKey;
    win32.RegFlushKey = [&](HKEY key) {
        calls.push_back("flush");
        return realFlush(key);
    };
    const auto realClose = win32.RegCloseKey;
    win32.RegCloseKey = [&](HKEY key) {
        calls.push_back("close");
        return realClose(key);
    };
    EXPECT_FALSE(SetLockWorkstationPolicy(user.name.c_str(), 1));
    EXPECT_EQ(calls, (std::vector<std::string>{"set", "flush", "close"}));
    // The created key stays in place.
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_USERS, PolicyKeyOf(user.sid)));

    // The write tells which step failed, with its error.
    LockPolicyWrite write = WriteLockWorkstationPolicy(user.sid.c_str(), 1);
    EXPECT_EQ(write.failed, LockPolicyWrite::Step::WriteValue);
    EXPECT_EQ(write.error, ERROR_ACCESS_DENIED);
    win32.RegCreateKeyExW = [](HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY,
                               LPDWORD) -> LONG { return ERROR_FILE_NOT_FOUND; };
    write = WriteLockWorkstationPolicy(user.sid.c_str(), 1);
    EXPECT_EQ(write.failed, LockPolicyWrite::Step::OpenKey);
    EXPECT_EQ(write.error, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(write.Written());
}

TEST_F(LockPolicy, SidStringsUpTo255CharactersAreAccepted)
{
    const std::wstring user = RealConsoleUser().name;
    std::wstring longSid;
    int freed = 0;
    win32.ConvertSidToStringSidW = [&](PSID, LPWSTR* out) {
        *out = LocalString(longSid);
        return TRUE;
    };
    const auto realFree = win32.LocalFree;
    win32.LocalFree = [&](HLOCAL memory) {
        ++freed;
        return realFree(memory);
    };
    for (size_t length : {size_t(255), size_t(256), size_t(300)}) {
        SCOPED_TRACE(length);
        longSid = L"S-1-5-21-" + std::wstring(length - 9, L'7');
        freed = 0;
        std::vector<wchar_t> buffer(kSidStringChars + 64, L'#');
        const bool accepted = GetAccountSidString(user.c_str(), buffer.data());
        EXPECT_EQ(accepted, length <= 255);
        if (accepted) {
            EXPECT_EQ(std::wstring(buffer.data()), longSid);
        }
        // Nothing is written past the 256-character buffer.
        for (size_t i = kSidStringChars; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], L'#') << i;
        }
        EXPECT_EQ(freed, 1);
    }
}

TEST(ConsoleUserName, NoConsoleSessionMakesNoQueryAndKeepsTheOutput)
{
    KWin32Override api;
    bool queried = false;
    win32.WTSGetActiveConsoleSessionId = [] { return DWORD(0xFFFFFFFF); };
    win32.WTSQuerySessionInformationW = [&](HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*) {
        queried = true;
        return FALSE;
    };
    std::wstring name = L"unchanged";
    EXPECT_FALSE(GetConsoleUserName(name));
    EXPECT_FALSE(queried);
    EXPECT_EQ(name, L"unchanged");
}

TEST(ConsoleUserName, EmptyOrFailedQueriesGiveNoUserAndFreeWhatWasReturned)
{
    struct Case {
        const char* what;
        BOOL succeeds;
        bool nullBuffer;
        const wchar_t* text;
        bool expected;
        int frees;
    } const cases[] = {
        {"query fails", FALSE, true, nullptr, false, 0},
        {"null buffer", TRUE, true, nullptr, false, 0},
        {"empty name", TRUE, false, L"", false, 1},
        {"a user", TRUE, false, L"kiosk", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KWin32Override api;
        DWORD sessionAsked = 0;
        WTS_INFO_CLASS classAsked = WTSInitialProgram;
        std::vector<wchar_t> storage;
        if (c.text != nullptr) {
            storage.assign(c.text, c.text + wcslen(c.text) + 1);
        }
        win32.WTSGetActiveConsoleSessionId = [] { return DWORD(7); };
        win32.WTSQuerySessionInformationW = [&](HANDLE server, DWORD session, WTS_INFO_CLASS info, LPWSTR* buffer,
                                                DWORD* bytes) {
            EXPECT_EQ(server, WTS_CURRENT_SERVER_HANDLE);
            sessionAsked = session;
            classAsked = info;
            *buffer = c.nullBuffer ? nullptr : storage.data();
            *bytes = static_cast<DWORD>(storage.size() * sizeof(wchar_t));
            return c.succeeds;
        };
        int frees = 0;
        win32.WTSFreeMemory = [&](PVOID memory) {
            EXPECT_EQ(memory, static_cast<PVOID>(storage.data()));
            ++frees;
        };
        std::wstring name = L"before";
        EXPECT_EQ(GetConsoleUserName(name), c.expected);
        EXPECT_EQ(name, c.expected ? std::wstring(c.text) : std::wstring(L"before"));
        EXPECT_EQ(sessionAsked, 7u);
        EXPECT_EQ(classAsked, WTSUserName);
        EXPECT_EQ(frees, c.frees);
    }
}

// Accounts that the bare name "anna" may be mistaken for.
const std::wstring kDomainAnna = L"S-1-5-21-100-200-300-1104";
const std::wstring kLocalAnna = L"S-1-5-21-7-8-9-1001";
const std::wstring kEntraAnna = L"S-1-12-1-1111-2222-3333-4444";

TEST(ConsoleUserSid, TheSessionsTokenFirstThenTheQualifiedNameThenTheBareName)
{
    using Accounts = std::map<std::wstring, std::wstring>;
    using Names = std::vector<std::wstring>;
    struct Case {
        const char* what;
        std::wstring domain;
        std::wstring tokenSid;  // empty: the token cannot be had
        Accounts accounts;
        DWORD lookupError;
        bool found;
        std::wstring sid;
        Names lookups;
    } const cases[] = {
        {"a domain user whose bare name is also a local account's", L"CORP", kDomainAnna,
         {{L"anna", kLocalAnna}, {L"CORP\\anna", kDomainAnna}}, ERROR_NONE_MAPPED, true, kDomainAnna, {}},
        {"the same without the token (not LocalSystem)", L"CORP", L"",
         {{L"anna", kLocalAnna}, {L"CORP\\anna", kDomainAnna}}, ERROR_NONE_MAPPED, true, kDomainAnna,
         {L"CORP\\anna"}},
        {"an Entra ID user", L"AzureAD", kEntraAnna, {}, ERROR_NONE_MAPPED, true, kEntraAnna, {}},
        {"an Entra ID user without the token", L"AzureAD", L"", {{L"AzureAD\\anna", kEntraAnna}},
         ERROR_NONE_MAPPED, true, kEntraAnna, {L"AzureAD\\anna"}},
        {"an Entra ID user that no lookup knows", L"AzureAD", L"", {}, ERROR_NONE_MAPPED, false, L"",
         {L"AzureAD\\anna", L"anna"}},
        {"the domain controller out of reach: the bare name is the last resort", L"CORP", L"",
         {{L"anna", kLocalAnna}}, RPC_S_SERVER_UNAVAILABLE, true, kLocalAnna, {L"CORP\\anna", L"anna"}},
        {"no domain name", L"", L"", {{L"anna", kLocalAnna}}, ERROR_NONE_MAPPED, true, kLocalAnna, {L"anna"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KWin32Override api;
        FakeConsoleAccount console(L"anna", c.domain);
        console.tokenSid = c.tokenSid;
        console.accounts = c.accounts;
        console.lookupError = c.lookupError;
        std::wstring sid = L"before";
        std::wstring user;
        EXPECT_EQ(GetConsoleUserSid(sid, &user), c.found);
        EXPECT_EQ(sid, c.found ? c.sid : std::wstring(L"before"));
        EXPECT_EQ(user, L"anna");
        EXPECT_EQ(console.lookups, c.lookups);
        EXPECT_EQ(console.tokenQueries, 1);
        EXPECT_EQ(console.tokensOpen, 0);
        EXPECT_EQ(console.sessionBuffersOpen, 0);
        if (!c.found) {
            EXPECT_EQ(GetLastError(), c.lookupError);
        }
    }
}

TEST(ConsoleUserSid, ATokenWhoseUserCannotBeReadIsClosedAndTheNameLookedUp)
{
    KWin32Override api;
    FakeConsoleAccount console(L"anna", L"CORP");
    console.tokenSid = kDomainAnna;
    console.accounts = {{L"CORP\\anna", kDomainAnna}};
    win32.GetTokenInformation = [](HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) -> BOOL {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    };
    std::wstring sid;
    EXPECT_TRUE(GetConsoleUserSid(sid));
    EXPECT_EQ(sid, kDomainAnna);
    EXPECT_EQ(console.lookups, std::vector<std::wstring>{L"CORP\\anna"});
    EXPECT_EQ(console.tokensOpen, 0);
}

TEST(ConsoleUserSid, NobodyAtTheConsoleGivesNeitherSidNorName)
{
    KWin32Override api;
    FakeConsoleAccount console(L"", L"");
    console.tokenSid = kDomainAnna;
    console.accounts = {{L"", kLocalAnna}};
    std::wstring sid = L"before";
    std::wstring user = L"before";
    // Nobody logged on at the console session.
    EXPECT_FALSE(GetConsoleUserSid(sid, &user));
    // No session attached to the console.
    win32.WTSGetActiveConsoleSessionId = [] { return DWORD(0xFFFFFFFF); };
    EXPECT_FALSE(GetConsoleUserSid(sid, &user));
    EXPECT_EQ(sid, L"before");
    EXPECT_EQ(user, L"before");
    EXPECT_EQ(console.tokenQueries, 0);
    EXPECT_TRUE(console.lookups.empty());
}

// Under Wine the session's token is the Linux user's, whose name the tests'
// own lookup (tests/support/machine_registry) resolves to the same SID.
TEST(ConsoleUserSid, TheRealSessionAgreesWithTheTestsOwnLookup)
{
    std::wstring sid;
    std::wstring user;
    ASSERT_TRUE(GetConsoleUserSid(sid, &user));
    std::wstring name;
    ASSERT_TRUE(GetConsoleUserName(name));
    EXPECT_EQ(user, name);
    const std::wstring key = ConsoleUserPolicyKey();
    EXPECT_EQ(key.substr(0, key.find(L'\\')), sid);
}

TEST(KReg, ClosesItsKeyOnceAlsoAfterAnExplicitClose)
{
    KWin32Override api;
    std::vector<HKEY> closed;
    win32.RegCloseKey = [&](HKEY key) {
        closed.push_back(key);
        return LONG(ERROR_SUCCESS);
    };
    const HKEY fake = reinterpret_cast<HKEY>(0x4242);
    {
        KReg reg;
        reg.key = fake;
    }
    {
        KReg reg;
        reg.key = fake;
        reg.Close();
        EXPECT_EQ(reg.key, nullptr);
    }
    {
        KReg empty;
    }
    EXPECT_EQ(closed, (std::vector<HKEY>{fake, fake}));
}

}  // namespace
