// Every user profile given back the lock: profiles of a made-up PC in a
// registry sandbox, hives loaded or loaded for the write (FakeProfileHives),
// in strict mode so that nothing else is reached.
#include "common/lock_policy_path.h"
#include "common/profile_lock_policy.h"
#include "tests/support/fake_profile_hives.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <map>

namespace {

const std::wstring kLoadedOne = L"S-1-5-21-1-2-3-1001";
const std::wstring kEntraLoadedOne = L"S-1-12-1-11-12-13-14";
const std::wstring kFileOne = L"S-1-5-21-1-2-3-1101";
const std::wstring kEntraFileOne = L"S-1-12-1-21-22-23-24";

class EveryProfile : public ::testing::Test {
protected:
    EveryProfile()
    {
        win32.Sleep = [this](DWORD ms) { sleeps.push_back(ms); };
    }

    // The run's outcome by SID.
    std::map<std::wstring, ProfileReset> Run()
    {
        result = LowerLockPolicyOfEveryProfile();
        std::map<std::wstring, ProfileReset> bySid;
        for (const ProfileReset& profile : result.profiles) {
            EXPECT_EQ(bySid.count(profile.sid), 0u) << Narrow(profile.sid) << " twice";
            bySid[profile.sid] = profile;
        }
        EXPECT_EQ(hives.LoadedNow(), 0u) << "a hive left loaded";
        EXPECT_FALSE(hives.PrivilegesEnabled()) << "the privileges left enabled";
        return bySid;
    }

    RegistrySandbox sandbox;
    // Real: the registry (in the sandbox), the process and the environment
    // (for "%SystemDrive%"); the hives' loading and the privileges are the
    // fake's.
    KStrictWin32Override api{&Win32Api::RegOpenKeyExW,    &Win32Api::RegEnumKeyExW,
                            &Win32Api::RegQueryValueExW, &Win32Api::RegSetValueExW,
                            &Win32Api::RegFlushKey,      &Win32Api::RegCloseKey,
                            &Win32Api::GetCurrentProcess, &Win32Api::GetCurrentProcessId,
                            &Win32Api::ExpandEnvironmentStringsW};
    FakeProfileHives hives;
    std::vector<DWORD> sleeps;
    ProfilesReset result;
};

TEST_F(EveryProfile, EveryOneBecomesZeroInItsLoadedHiveOrItsFileAndEveryOtherValueStays)
{
    struct Profile {
        std::wstring sid;
        bool loaded;
        PolicyValue before;
        ProfileOutcome outcome;
        PolicyValue after;
        bool keyExists;
    } const profiles[] = {
        {kLoadedOne, true, PolicyValue::Dword(1), ProfileOutcome::Lowered, PolicyValue::Dword(0), true},
        {kEntraLoadedOne, true, PolicyValue::Dword(1), ProfileOutcome::Lowered, PolicyValue::Dword(0), true},
        {L"S-1-5-21-1-2-3-1002", true, PolicyValue::Absent(), ProfileOutcome::Absent, PolicyValue::Absent(), true},
        {L"S-1-5-21-1-2-3-1003", true, PolicyValue::Absent(), ProfileOutcome::Absent, PolicyValue::Absent(), false},
        {L"S-1-5-21-1-2-3-1004", true, PolicyValue::Dword(2), ProfileOutcome::NotOne, PolicyValue::Dword(2), true},
        {L"S-1-5-21-1-2-3-1005", true, PolicyValue::Text(L"1"), ProfileOutcome::NotOne, PolicyValue::Text(L"1"),
         true},
        {kFileOne, false, PolicyValue::Dword(1), ProfileOutcome::Lowered, PolicyValue::Dword(0), true},
        {kEntraFileOne, false, PolicyValue::Dword(1), ProfileOutcome::Lowered, PolicyValue::Dword(0), true},
        {L"S-1-5-21-1-2-3-1102", false, PolicyValue::Absent(), ProfileOutcome::Absent, PolicyValue::Absent(), true},
        {L"S-1-5-21-1-2-3-1103", false, PolicyValue::Qword(1), ProfileOutcome::NotOne, PolicyValue::Qword(1), true},
        {L"S-1-5-21-1-2-3-1104", false, PolicyValue::Dword(0), ProfileOutcome::NotOne, PolicyValue::Dword(0), true},
    };
    for (const Profile& p : profiles) {
        if (p.loaded) {
            hives.AddLoaded(p.sid, p.before, p.keyExists);
        } else {
            hives.AddUnloaded(p.sid, L"%SystemDrive%\\Users\\" + p.sid, p.before);
        }
    }
    // Not users' profiles: the system account, and the backup entry Windows
    // leaves beside a profile it could not load.
    hives.AddLoaded(L"S-1-5-18", PolicyValue::Dword(1));
    hives.AddUnloaded(L"S-1-5-21-1-2-3-1101.bak", L"%SystemDrive%\\Users\\old", PolicyValue::Dword(1));

    const auto outcome = Run();

    EXPECT_TRUE(result.listed);
    EXPECT_EQ(outcome.size(), std::size(profiles));
    for (const Profile& p : profiles) {
        SCOPED_TRACE(Narrow(p.sid));
        ASSERT_EQ(outcome.count(p.sid), 1u);
        const ProfileReset& reset = outcome.at(p.sid);
        EXPECT_EQ(reset.outcome, p.outcome) << Narrow(reset.failure);
        EXPECT_EQ(reset.hiveFile, p.loaded ? std::wstring() : hives.HiveFile(p.sid));
        EXPECT_EQ(hives.ValueOf(p.sid), p.after) << Describe(hives.ValueOf(p.sid));
        EXPECT_EQ(reset.unloadError, 0u);
    }
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_USERS, L"S-1-5-21-1-2-3-1003\\Software"))
        << "a key was created for an absent value";
    EXPECT_EQ(hives.ValueOf(L"S-1-5-18"), PolicyValue::Dword(1));
    EXPECT_EQ(hives.ValueOf(L"S-1-5-21-1-2-3-1101.bak"), PolicyValue::Dword(1));
    EXPECT_FALSE(result.AnyFailure());

    // The privileges come first and go back last; each hive is unloaded
    // before the next is loaded.
    ASSERT_EQ(hives.calls.size(), 2u + 2u * 5u);
    EXPECT_EQ(hives.calls.front(), "enable privileges");
    EXPECT_EQ(hives.calls.back(), "restore privileges");
    for (size_t i = 1; i + 1 < hives.calls.size(); i += 2) {
        EXPECT_EQ(hives.calls[i].substr(0, 5), "load ");
        EXPECT_EQ(hives.calls[i + 1], "unload " + hives.calls[i].substr(5));
    }
    EXPECT_TRUE(hives.made.empty());
}

TEST_F(EveryProfile, AProfileWhoseHiveCannotBeLoadedIsSkippedAndNamedAndTheOthersStillGetZero)
{
    const std::wstring inUse = L"S-1-5-21-1-2-3-1201";
    const std::wstring gone = L"S-1-5-21-1-2-3-1202";
    const std::wstring noPath = L"S-1-5-21-1-2-3-1203";
    hives.AddLoaded(kLoadedOne, PolicyValue::Dword(1));
    hives.AddUnloaded(inUse, L"%SystemDrive%\\Users\\inuse", PolicyValue::Dword(1));
    hives.AddUnloaded(gone, L"%SystemDrive%\\Users\\gone", PolicyValue::Dword(1), false);
    hives.AddUnloaded(kFileOne, L"%SystemDrive%\\Users\\fine", PolicyValue::Dword(1));
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kProfileListKeyPath) + L"\\" + noPath);
    hives.loadErrors[hives.HiveFile(inUse)] = ERROR_SHARING_VIOLATION;

    const auto outcome = Run();

    EXPECT_EQ(outcome.at(kLoadedOne).outcome, ProfileOutcome::Lowered);
    EXPECT_EQ(outcome.at(kFileOne).outcome, ProfileOutcome::Lowered);
    EXPECT_EQ(hives.ValueOf(kFileOne), PolicyValue::Dword(0));

    const struct {
        std::wstring sid;
        DWORD error;
        std::wstring failure;
    } skipped[] = {
        {inUse, ERROR_SHARING_VIOLATION, L"cannot load its hive " + hives.HiveFile(inUse)},
        // No load: Windows would make an empty hive file there.
        {gone, ERROR_FILE_NOT_FOUND, L"its hive " + hives.HiveFile(gone) + L" cannot be found"},
        {noPath, ERROR_FILE_NOT_FOUND, L"its hive is not loaded, and its ProfileImagePath cannot be read"},
    };
    for (const auto& s : skipped) {
        SCOPED_TRACE(Narrow(s.sid));
        ASSERT_EQ(outcome.count(s.sid), 1u);
        EXPECT_EQ(outcome.at(s.sid).outcome, ProfileOutcome::Skipped);
        EXPECT_EQ(outcome.at(s.sid).error, s.error);
        EXPECT_EQ(Narrow(outcome.at(s.sid).failure), Narrow(s.failure));
    }
    EXPECT_EQ(hives.ValueOf(inUse), PolicyValue::Dword(1));
    EXPECT_TRUE(hives.made.empty());
    EXPECT_TRUE(result.AnyFailure());
}

TEST_F(EveryProfile, AHiveLoadedForTheWriteIsUnloadedOnEveryPath)
{
    const struct {
        const char* what;
        std::function<void()> arrange;
        ProfileOutcome outcome;
        DWORD unloadError;
        std::vector<DWORD> sleeps;
    } cases[] = {
        {"the write fails",
         [] {
             win32.RegSetValueExW = [](HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) -> LONG {
                 return ERROR_ACCESS_DENIED;
             };
         },
         ProfileOutcome::Skipped, 0, {}},
        {"the loaded hive cannot be opened",
         [] {
             const auto open = win32.RegOpenKeyExW;
             win32.RegOpenKeyExW = [open](HKEY parent, LPCWSTR subkey, DWORD options, REGSAM access, PHKEY key) {
                 if (parent == HKEY_USERS && std::wstring(subkey).rfind(L"TarnwickProfile-", 0) == 0) {
                     return LONG(ERROR_ACCESS_DENIED);
                 }
                 return open(parent, subkey, options, access, key);
             };
         },
         ProfileOutcome::Skipped, 0, {}},
        {"the unload fails twice", [this] { hives.unloadFailures = 2; }, ProfileOutcome::Lowered, 0, {100, 100}},
        {"the unload always fails", [this] { hives.unloadFailures = 3; }, ProfileOutcome::Lowered,
         ERROR_ACCESS_DENIED, {100, 100}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        hives.AddUnloaded(kFileOne, L"%SystemDrive%\\Users\\one", PolicyValue::Dword(1));
        KWin32Override caseApi;
        sleeps.clear();
        hives.calls.clear();
        c.arrange();
        result = LowerLockPolicyOfEveryProfile();
        ASSERT_EQ(result.profiles.size(), 1u);
        const ProfileReset& reset = result.profiles[0];
        EXPECT_EQ(reset.outcome, c.outcome) << Narrow(reset.failure);
        EXPECT_EQ(reset.unloadError, c.unloadError);
        EXPECT_EQ(sleeps, c.sleeps);
        EXPECT_EQ(result.AnyFailure(), c.outcome == ProfileOutcome::Skipped || c.unloadError != 0);
        if (c.unloadError == 0) {
            EXPECT_EQ(hives.LoadedNow(), 0u);
            EXPECT_EQ(hives.calls.back(), "restore privileges");
            EXPECT_EQ(hives.calls[hives.calls.size() - 2], "unload " + Narrow(hives.HiveFile(kFileOne)));
        } else {
            // Given up on: the line tells where it stays.
            EXPECT_EQ(hives.LoadedNow(), 1u);
            const std::wstring line = ProfileResetLine(reset, [](std::uint32_t e) { return std::to_wstring(e); });
            EXPECT_NE(line.find(L"stays loaded as HKEY_USERS\\" + reset.temporaryName), std::wstring::npos);
            hives.backupEnabled = hives.restoreEnabled = true;
            EXPECT_EQ(win32.RegUnLoadKeyW(HKEY_USERS, reset.temporaryName.c_str()), ERROR_SUCCESS);
            hives.backupEnabled = hives.restoreEnabled = false;
        }
        EXPECT_FALSE(hives.PrivilegesEnabled());
        // Whatever went wrong, nothing was written but the 0.
        const PolicyValue after = hives.ValueOf(kFileOne);
        EXPECT_TRUE(after == PolicyValue::Dword(1) || after == PolicyValue::Dword(0)) << Describe(after);
    }
}

TEST_F(EveryProfile, ThePrivilegesAreEnabledOnlyForALoadAndPutBackAsTheyWere)
{
    // Only loaded hives: the token is not touched.
    hives.AddLoaded(kLoadedOne, PolicyValue::Dword(1));
    Run();
    EXPECT_TRUE(hives.calls.empty());

    // Enabled already: they stay enabled, and nothing needs putting back.
    hives.AddUnloaded(kFileOne, L"%SystemDrive%\\Users\\one", PolicyValue::Dword(1));
    hives.backupEnabled = hives.restoreEnabled = true;
    result = LowerLockPolicyOfEveryProfile();
    EXPECT_EQ(hives.ValueOf(kFileOne), PolicyValue::Dword(0));
    EXPECT_TRUE(hives.PrivilegesEnabled());
    EXPECT_EQ(hives.calls.back(), "unload " + Narrow(hives.HiveFile(kFileOne)));

    // Not held (an administrator's prompt that is not elevated): the load is
    // refused, and says why.
    hives.backupEnabled = hives.restoreEnabled = false;
    hives.privilegesHeld = false;
    hives.AddUnloaded(kEntraFileOne, L"%SystemDrive%\\Users\\two", PolicyValue::Dword(1));
    const auto outcome = Run();
    EXPECT_EQ(outcome.at(kEntraFileOne).outcome, ProfileOutcome::Skipped);
    EXPECT_EQ(outcome.at(kEntraFileOne).error, static_cast<std::uint32_t>(ERROR_PRIVILEGE_NOT_HELD));
    EXPECT_EQ(hives.ValueOf(kEntraFileOne), PolicyValue::Dword(1));
}

TEST_F(EveryProfile, WithoutTheProfileListItsErrorIsGivenAndNothingIsTouched)
{
    const auto outcome = Run();
    EXPECT_FALSE(result.listed);
    EXPECT_EQ(result.listError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(outcome.empty());
    EXPECT_TRUE(hives.calls.empty());
}

}  // namespace
