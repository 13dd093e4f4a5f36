#include "common/profile_reset_rules.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

TEST(ProfileResetRules, OnlyUserAccountsOfTheMachineTheDomainOrEntraIdAreProfilesToReset)
{
    const struct {
        const wchar_t* name;
        bool user;
    } cases[] = {
        {L"S-1-5-21-1004336348-1177238915-682003330-1001", true},
        {L"S-1-5-21-0-0-0-1000", true},
        {L"s-1-5-21-1-2-3-500", true},
        {L"S-1-12-1-3817015893-1286316397-3307539118-1614287893", true},
        {L"S-1-5-18", false},
        {L"S-1-5-19", false},
        {L"S-1-5-20", false},
        {L"S-1-5-21", false},
        {L"S-1-5-21-", false},
        {L"S-1-5-21-1-2-3-1001.bak", false},
        {L"S-1-5-21-1-2-3-1001-", false},
        {L"S-1-5-21-1--2", false},
        {L"S-1-5-21-1-2-3-1001\\x", false},
        {L"S-1-12-2-1", false},
        {L"S-1-5-80-1-2", false},
        {L".DEFAULT", false},
        {L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsUserProfileSid(c.name), c.user) << std::string(c.name, c.name + wcslen(c.name));
    }
}

TEST(ProfileResetRules, OnlyTheFourByteDwordOneIsLowered)
{
    const std::uint8_t one[] = {1, 0, 0, 0};
    const std::uint8_t two[] = {2, 0, 0, 0};
    const std::uint8_t big[] = {1, 0, 0, 1};
    const std::uint8_t text[] = {'1', 0, 0, 0};
    const std::uint8_t qword[] = {1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(IsLockPolicyOne(4, one, 4));
    EXPECT_FALSE(IsLockPolicyOne(4, two, 4));
    EXPECT_FALSE(IsLockPolicyOne(4, big, 4));
    EXPECT_FALSE(IsLockPolicyOne(4, one, 3));
    EXPECT_FALSE(IsLockPolicyOne(1, text, 4));      // REG_SZ "1"
    EXPECT_FALSE(IsLockPolicyOne(11, qword, 8));    // REG_QWORD 1
    EXPECT_FALSE(IsLockPolicyOne(5, one, 4));       // REG_DWORD_BIG_ENDIAN
    EXPECT_FALSE(IsLockPolicyOne(4, nullptr, 4));
}

TEST(ProfileResetRules, TemporaryNamesDifferByProcessAndCount)
{
    EXPECT_EQ(TemporaryHiveName(4242, 1), L"TarnwickProfile-4242-1");
    EXPECT_NE(TemporaryHiveName(4242, 1), TemporaryHiveName(4242, 2));
    EXPECT_NE(TemporaryHiveName(4242, 1), TemporaryHiveName(4243, 1));
}

std::wstring Text(std::uint32_t error)
{
    return L"error " + std::to_wstring(error) + L": text";
}

TEST(ProfileResetRules, OneLinePerProfileAndASummary)
{
    ProfileReset loaded;
    loaded.sid = L"S-1-5-21-1-2-3-1001";
    loaded.outcome = ProfileOutcome::Lowered;
    ProfileReset file;
    file.sid = L"S-1-12-1-4-5-6-7";
    file.hiveFile = L"C:\\Users\\b\\NTUSER.DAT";
    file.outcome = ProfileOutcome::Lowered;
    ProfileReset absent;
    absent.sid = L"S-1-5-21-1-2-3-1003";
    absent.outcome = ProfileOutcome::Absent;
    ProfileReset other;
    other.sid = L"S-1-5-21-1-2-3-1004";
    other.outcome = ProfileOutcome::NotOne;
    ProfileReset skipped;
    skipped.sid = L"S-1-5-21-1-2-3-1005";
    skipped.hiveFile = L"C:\\Users\\c\\NTUSER.DAT";
    skipped.failure = L"cannot load its hive C:\\Users\\c\\NTUSER.DAT";
    skipped.error = 32;
    ProfileReset stuck = file;
    stuck.unloadError = 5;
    stuck.temporaryName = L"TarnwickProfile-9-1";

    EXPECT_EQ(ProfileResetLine(loaded, Text),
              L"S-1-5-21-1-2-3-1001: \"DisableLockWorkstation\" set from 1 to 0 (hive loaded)");
    EXPECT_EQ(ProfileResetLine(file, Text), L"S-1-12-1-4-5-6-7: \"DisableLockWorkstation\" set from 1 to 0 (in "
                                            L"C:\\Users\\b\\NTUSER.DAT, loaded for the write)");
    EXPECT_EQ(ProfileResetLine(absent, Text), L"S-1-5-21-1-2-3-1003: \"DisableLockWorkstation\" absent: left as it is");
    EXPECT_EQ(ProfileResetLine(other, Text),
              L"S-1-5-21-1-2-3-1004: \"DisableLockWorkstation\" is not the number 1: left as it is");
    EXPECT_EQ(ProfileResetLine(skipped, Text),
              L"S-1-5-21-1-2-3-1005: skipped: cannot load its hive C:\\Users\\c\\NTUSER.DAT (error 32: text)");
    const std::wstring stuckLine = ProfileResetLine(stuck, Text);
    EXPECT_NE(stuckLine.find(L"set from 1 to 0"), std::wstring::npos);
    EXPECT_NE(stuckLine.find(L"could not be unloaded again (error 5: text): it stays loaded as "
                             L"HKEY_USERS\\TarnwickProfile-9-1 until the PC restarts"),
              std::wstring::npos);

    ProfilesReset all;
    all.listed = true;
    EXPECT_EQ(ProfilesResetSummary(all), L"0 user profiles: 0 set from 1 to 0, 0 left as it is, 0 skipped");
    EXPECT_FALSE(all.AnyFailure());
    all.profiles = {loaded, file, absent, other};
    EXPECT_EQ(ProfilesResetSummary(all), L"4 user profiles: 2 set from 1 to 0, 2 left as it is, 0 skipped");
    EXPECT_FALSE(all.AnyFailure());
    all.profiles = {skipped};
    EXPECT_EQ(ProfilesResetSummary(all), L"1 user profile: 0 set from 1 to 0, 0 left as it is, 1 skipped");
    EXPECT_TRUE(all.AnyFailure());
    all.profiles = {stuck};
    EXPECT_TRUE(all.AnyFailure());
}

}  // namespace
