// TarnwickCtl lock-policy in this process, with HKEY_USERS inside a
// RegistrySandbox and the real console user of the Wine session.
#include "common/lock_policy.h"
#include "tests/support/machine_registry.h"
#include "tests/support/fake_console_account.h"
#include "tests/support/fake_profile_hives.h"
#include "tests/support/registry_sandbox.h"
#include "tests/tools/key_security.h"
#include "tests/tools/ctl_run.h"

#include <gtest/gtest.h>

namespace {

class CtlLockPolicy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(GetConsoleUserName(user_));
        key_ = ConsoleUserPolicyKey();
        ASSERT_FALSE(key_.empty());
    }

    // The value in the sandbox, or -1 when it is not a REG_DWORD.
    long long Value() const
    {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!RegistrySandbox::GetValue(HKEY_USERS, key_, L"DisableLockWorkstation", type, data) || type != REG_DWORD ||
            data.size() != 4) {
            return -1;
        }
        return *reinterpret_cast<const DWORD*>(data.data());
    }

    RegistrySandbox sandbox_;
    std::wstring user_;
    std::wstring key_;
};

TEST_F(CtlLockPolicy, ShowsAndSetsTheConsoleUsersValue)
{
    const std::wstring of = L"\"DisableLockWorkstation\" of " + user_;
    CtlRun run = RunCtlHere({L"lock-policy"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, of + L": absent: " + user_ + L" can lock the workstation\n");

    run = RunCtlHere({L"lock-policy", L"1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, of + L" set to 1: Windows does not let " + user_ + L" lock the workstation itself\n");
    EXPECT_EQ(Value(), 1);
    run = RunCtlHere({L"lock-policy"});
    EXPECT_EQ(run.out, of + L": 1: Windows does not let " + user_ + L" lock the workstation itself\n");

    run = RunCtlHere({L"lock-policy", L"0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, of + L" set to 0: " + user_ + L" can lock the workstation\n");
    EXPECT_EQ(Value(), 0);

    // A value of another type is shown as it is stored.
    RegistrySandbox::SetString(HKEY_USERS, key_, L"DisableLockWorkstation", L"1");
    run = RunCtlHere({L"lock-policy"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, of + L": REG_SZ \"1\"\n");
}

TEST_F(CtlLockPolicy, AValueThatCannotBeWrittenSaysToRunItElevated)
{
    RegistrySandbox::SetDword(HKEY_USERS, key_, L"DisableLockWorkstation", 1);
    const KeySecurity denied(HKEY_USERS, key_, L"D:(D;;0x2;;;WD)(A;;KA;;;WD)");
    const CtlRun run = RunCtlHere({L"lock-policy", L"0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_TRUE(Contains(run.err, L"cannot write \"DisableLockWorkstation\" of " + user_)) << run.err;
    EXPECT_TRUE(Contains(run.err, L"(error 5")) << run.err;
    EXPECT_TRUE(Contains(run.err, L"run it from an elevated prompt")) << run.err;
    EXPECT_EQ(Value(), 1);
}

TEST_F(CtlLockPolicy, WithoutAConsoleUserOrWhenItCannotTellItSaysWhichAndWritesNothing)
{
    struct Case {
        const char* what;
        bool sessionQueryFails;
        const wchar_t* says;
    } const cases[] = {
        {"no console session", false, L"no user is logged on at the console"},
        {"the session's user cannot be read", true, L"cannot tell who is logged on at the console (error 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KWin32Override api;
        if (c.sessionQueryFails) {
            win32.WTSQuerySessionInformationW = [](HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*) -> BOOL {
                ::SetLastError(ERROR_ACCESS_DENIED);
                return FALSE;
            };
        } else {
            win32.WTSGetActiveConsoleSessionId = [] { return 0xFFFFFFFFul; };
        }
        for (const auto& args :
             {std::vector<std::wstring>{L"lock-policy"}, std::vector<std::wstring>{L"lock-policy", L"0"}}) {
            const CtlRun run = RunCtlHere(args);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_TRUE(run.out.empty()) << run.out;
            EXPECT_TRUE(Contains(run.err, c.says)) << run.err;
        }
    }
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_USERS, key_));
}

// TarnwickCtl runs as an administrator, whom Windows does not give the
// session's token: the account is the session's user name qualified with its
// domain, not a local account of the same bare name.
TEST_F(CtlLockPolicy, ShowsAndSetsTheValueOfTheSessionsAccountNotOfANamesake)
{
    const std::wstring domainAnna = L"S-1-5-21-100-200-300-1104";
    const std::wstring localAnna = L"S-1-5-21-7-8-9-1001";
    KWin32Override api;
    FakeConsoleAccount console(L"anna", L"CORP");
    console.accounts = {{L"anna", localAnna}, {L"CORP\\anna", domainAnna}};
    const std::wstring domainKey = domainAnna + L"\\" + kPolicySystemKey;
    RegistrySandbox::SetDword(HKEY_USERS, domainKey, L"DisableLockWorkstation", 1);

    CtlRun run = RunCtlHere({L"lock-policy"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              L"\"DisableLockWorkstation\" of anna: 1: Windows does not let anna lock the workstation itself\n");

    run = RunCtlHere({L"lock-policy", L"0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(RegistrySandbox::GetValue(HKEY_USERS, domainKey, L"DisableLockWorkstation", type, data));
    EXPECT_EQ(data, (std::vector<BYTE>{0, 0, 0, 0}));
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_USERS, localAnna)) << "written for the local namesake";
    EXPECT_EQ(console.tokensOpen, 0);

    // An account that no lookup finds.
    console.accounts.clear();
    run = RunCtlHere({L"lock-policy", L"0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, L"cannot look up the SID of the account \"anna\"")) << run.err;
    EXPECT_TRUE(Contains(run.err, L"(error 1332")) << run.err;
}

class CtlLockPolicyAllUsers : public ::testing::Test {
protected:
    RegistrySandbox sandbox_;
    KWin32Override api_;
    FakeProfileHives hives_;
};

TEST_F(CtlLockPolicyAllUsers, GivesEveryProfileTheLockBackOneLineEach)
{
    hives_.AddLoaded(L"S-1-5-21-1-2-3-1001", PolicyValue::Dword(1));
    hives_.AddLoaded(L"S-1-5-21-1-2-3-1002", PolicyValue::Absent());
    hives_.AddUnloaded(L"S-1-12-1-4-5-6-7", L"C:\\Users\\away", PolicyValue::Dword(1));

    CtlRun run = RunCtlHere({L"lock-policy", L"0", L"--all-users"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, L"");
    EXPECT_EQ(run.out, L"S-1-12-1-4-5-6-7: \"DisableLockWorkstation\" set from 1 to 0 (in C:\\Users\\away\\NTUSER.DAT, "
                       L"loaded for the write)\n"
                       L"S-1-5-21-1-2-3-1001: \"DisableLockWorkstation\" set from 1 to 0 (hive loaded)\n"
                       L"S-1-5-21-1-2-3-1002: \"DisableLockWorkstation\" absent: left as it is\n"
                       L"3 user profiles: 2 set from 1 to 0, 1 left as it is, 0 skipped\n");
    EXPECT_EQ(hives_.ValueOf(L"S-1-12-1-4-5-6-7"), PolicyValue::Dword(0));
    EXPECT_EQ(hives_.ValueOf(L"S-1-5-21-1-2-3-1001"), PolicyValue::Dword(0));

    // A hive that cannot be loaded: named, with the system's text, and exit
    // code 1.
    hives_.AddUnloaded(L"S-1-5-21-1-2-3-1003", L"C:\\Users\\busy", PolicyValue::Dword(1));
    hives_.loadErrors[L"C:\\Users\\busy\\NTUSER.DAT"] = ERROR_SHARING_VIOLATION;
    run = RunCtlHere({L"lock-policy", L"0", L"--all-users"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.out, L"S-1-5-21-1-2-3-1003: skipped: cannot load its hive C:\\Users\\busy\\NTUSER.DAT "
                                  L"(error 32"))
        << run.out;
    EXPECT_TRUE(Contains(run.out, L"4 user profiles: 0 set from 1 to 0, 3 left as it is, 1 skipped\n")) << run.out;
    EXPECT_TRUE(Contains(run.err, L"not every user profile was given the lock back")) << run.err;
    EXPECT_TRUE(Contains(run.err, L"elevated prompt")) << run.err;
}

TEST_F(CtlLockPolicyAllUsers, WithoutTheProfileListItSaysSo)
{
    const CtlRun run = RunCtlHere({L"lock-policy", L"0", L"--all-users"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_TRUE(Contains(run.err, L"cannot read the user profiles under "
                                  L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList "
                                  L"(error 2"))
        << run.err;
}

}  // namespace
