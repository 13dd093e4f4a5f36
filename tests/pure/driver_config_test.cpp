#include "common/driver_config.h"
#include "common/lock_policy_path.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

TEST(DriverConfig, SubkeyPathAndEventNameAppendTheNameUnchanged)
{
    EXPECT_EQ(HotkeySubkeyPath(L"LWin+L"), L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\LWin+L");
    EXPECT_EQ(HotkeySubkeyPath(L"LWIN+L "), L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\LWIN+L ");
    EXPECT_EQ(HotkeyEventName(L"LWin+L"), L"ZQKBFiltrLWin+L");
    EXPECT_EQ(HotkeyEventName(L"ctrl+alt+del"), L"ZQKBFiltrctrl+alt+del");
    EXPECT_EQ(HotkeyEventName(L"a b"), L"ZQKBFiltra b");
}

TEST(DriverConfig, AHotkeyNamedWinLogonInAnyCaseWouldMakeTheMarker)
{
    for (const wchar_t* name : {L"WinLogon", L"winlogon", L"WINLOGON", L"wInLoGoN", L"W\x0131nLogon"}) {
        EXPECT_TRUE(HotkeyEventIsTheLogonMarker(name)) << static_cast<int>(name[1]);
    }
    for (const wchar_t* name : {L"WinLogon ", L" WinLogon", L"WinLogo", L"WinLogonX", L"Win+L", L"W\x0130nLogon", L""}) {
        EXPECT_FALSE(HotkeyEventIsTheLogonMarker(name)) << static_cast<int>(name[0]);
    }
    EXPECT_EQ(ServiceEventNamesToOpen(L"ZQKBFiltrLWin+L"),
              (std::vector<std::wstring>{L"Global\\ZQKBFiltrLWin+L", L"ZQKBFiltrLWin+L"}));
}

TEST(DriverConfig, DwordFromBytesIsLittleEndian)
{
    const std::uint8_t one[4] = {1, 0, 0, 0};
    const std::uint8_t mixed[4] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(DwordFromBytes(one), 1u);
    EXPECT_EQ(DwordFromBytes(mixed), 0x12345678u);
}

TEST(LockPolicyPath, IsTheSidThenThePolicyKeyAndFitsTheLongestSid)
{
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(L"S-1-5-21-0-0-0-1000", path);
    EXPECT_STREQ(path, L"S-1-5-21-0-0-0-1000\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System");

    const std::wstring longest(kSidStringChars - 1, L'9');
    FormatLockPolicyKeyPath(longest.c_str(), path);
    EXPECT_EQ(std::wstring(path).size(), 313u);
}
