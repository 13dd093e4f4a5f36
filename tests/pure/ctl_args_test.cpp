#include "tools/ctl_args.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

CtlParse Parse(std::vector<std::wstring> args)
{
    return ParseCtlArgs(args);
}

TEST(CtlArgs, ParsesEveryCommand)
{
    const std::wstring run = L"\"C:\\a b\\x.exe\"";
    CtlParse p = Parse({L"set", L"LWin+L", L"--run", run, L"--block", L"1", L"--BlockLocal", L"0x2"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.action, CtlAction::Set);
    EXPECT_EQ(p.command.hotkey, L"LWin+L");
    ASSERT_EQ(p.command.values.size(), 3u);
    EXPECT_EQ(p.command.values[0].name, L"run");
    EXPECT_EQ(p.command.values[0].type, kTypeSz);
    EXPECT_EQ(p.command.values[0].data.size(), (run.size() + 1) * 2);
    EXPECT_EQ(p.command.values[1].name, L"Block");
    EXPECT_EQ(p.command.values[1].type, kTypeDword);
    EXPECT_EQ(p.command.values[1].data, (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(p.command.values[2].name, L"BlockLocal");
    EXPECT_EQ(p.command.values[2].data, (Bytes{2, 0, 0, 0}));

    p = Parse({L"set", L"ctrl+alt+del"});  // a subkey without values
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.action, CtlAction::Set);
    EXPECT_TRUE(p.command.values.empty());

    p = Parse({L"set-value", L"RWin+L", L"run", L"REG_EXPAND_SZ", L"%windir%\\x.exe"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.action, CtlAction::SetValue);
    EXPECT_EQ(p.command.hotkey, L"RWin+L");
    ASSERT_EQ(p.command.values.size(), 1u);
    EXPECT_EQ(p.command.values[0].name, L"run");
    EXPECT_EQ(p.command.values[0].type, kTypeExpandSz);

    p = Parse({L"set-value", L"K", L"Block", L"REG_BINARY", L"01"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.values[0].data, Bytes{1});

    p = Parse({L"remove", L"K"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.action, CtlAction::Remove);
    EXPECT_EQ(p.command.valueName, L"");
    p = Parse({L"remove", L"K", L"Block"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.valueName, L"Block");

    p = Parse({L"PRESS", L"a b"});  // a name with blanks is one argument
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.action, CtlAction::Press);
    EXPECT_EQ(p.command.hotkey, L"a b");

    p = Parse({L"lock-policy"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.action, CtlAction::LockPolicy);
    EXPECT_FALSE(p.command.setPolicy);
    for (std::uint32_t value : {0u, 1u}) {
        p = Parse({L"Lock-Policy", std::to_wstring(value)});
        ASSERT_EQ(p.error, L"");
        EXPECT_TRUE(p.command.setPolicy);
        EXPECT_EQ(p.command.policyValue, value);
        EXPECT_FALSE(p.command.allUsers);
    }
    for (const wchar_t* option : {L"--all-users", L"--ALL-Users"}) {
        p = Parse({L"lock-policy", L"0", option});
        ASSERT_EQ(p.error, L"");
        EXPECT_EQ(p.command.action, CtlAction::LockPolicy);
        EXPECT_TRUE(p.command.setPolicy);
        EXPECT_EQ(p.command.policyValue, 0u);
        EXPECT_TRUE(p.command.allUsers);
    }

    for (const wchar_t* verb : {L"check", L"status"}) {
        p = Parse({verb});
        ASSERT_EQ(p.error, L"");
        EXPECT_FALSE(p.command.json);
        p = Parse({verb, L"--JSON"});
        ASSERT_EQ(p.error, L"");
        EXPECT_TRUE(p.command.json);
    }
    EXPECT_EQ(Parse({L"check"}).command.action, CtlAction::Check);

    p = Parse({L"watch"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.action, CtlAction::Watch);
    EXPECT_FALSE(p.command.watchLimited);
    for (const auto& seconds : {std::make_pair(L"0", 0u), std::make_pair(L"30", 30u), std::make_pair(L"0x10", 16u),
                                std::make_pair(L"4294967", 4294967u)}) {
        p = Parse({L"watch", L"--Seconds", seconds.first});
        ASSERT_EQ(p.error, L"");
        EXPECT_TRUE(p.command.watchLimited);
        EXPECT_EQ(p.command.watchSeconds, seconds.second);
    }

    p = Parse({L"windows"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.action, CtlAction::Windows);
    EXPECT_EQ(p.command.waitSeconds, 5u);
    EXPECT_FALSE(p.command.json);
    p = Parse({L"Windows", L"--JSON", L"--wait", L"0"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.waitSeconds, 0u);
    EXPECT_TRUE(p.command.json);
    p = Parse({L"windows", L"--wait", L"12"});
    ASSERT_EQ(p.error, L"");
    EXPECT_EQ(p.command.waitSeconds, 12u);

    EXPECT_EQ(Parse({L"list"}).command.action, CtlAction::List);
    EXPECT_EQ(Parse({L"status"}).command.action, CtlAction::Status);
    EXPECT_EQ(Parse({L"/?"}).command.action, CtlAction::Help);
    EXPECT_EQ(Parse({L"--help"}).error, L"");
}

TEST(CtlArgs, RefusesWrongArgumentsWithAMessage)
{
    const std::vector<std::vector<std::wstring>> wrong = {
        {},
        {L"frobnicate"},
        {L"list", L"x"},
        {L"status", L"x"},
        {L"press"},
        {L"press", L"a", L"b"},
        {L"press", L""},
        {L"press", L"a\\b"},  // would name a key below the hotkey's subkey
        {L"remove"},
        {L"remove", L"a", L"b", L"c"},
        {L"set"},
        {L"set", L"K", L"--run"},
        {L"set", L"K", L"--block", L"one"},
        {L"set", L"K", L"--colour", L"red"},
        {L"set", L"K", L"run", L"x"},
        {L"set-value", L"K", L"run", L"REG_SZ"},
        {L"set-value", L"K", L"run", L"REG_MULTI_SZ", L"x"},
        {L"set-value", L"K", L"Block", L"REG_DWORD", L"4294967296"},
        {L"set-value", L"K", L"Block", L"REG_BINARY", L"0"},
        {L"check", L"x"},
        {L"check", L"--json", L"--json"},
        {L"status", L"-json"},
        {L"watch", L"--seconds"},
        {L"watch", L"--seconds", L"-1"},
        {L"watch", L"--seconds", L"4294968"},
        {L"watch", L"--seconds", L"1.5"},
        {L"watch", L"10"},
        {L"watch", L"--seconds", L"1", L"2"},
        {L"windows", L"--wait"},
        {L"windows", L"--wait", L"-1"},
        {L"windows", L"--wait", L"4294968"},
        {L"windows", L"5"},
        {L"windows", L"--json", L"--json"},
        {L"lock-policy", L"2"},
        {L"lock-policy", L"01"},
        {L"lock-policy", L" 0"},
        {L"lock-policy", L"0", L"1"},
        // Every profile is only ever given the lock back.
        {L"lock-policy", L"1", L"--all-users"},
        {L"lock-policy", L"--all-users"},
        {L"lock-policy", L"--all-users", L"0"},
        {L"lock-policy", L"0", L"--all-users", L"x"},
        {L"lock-policy", L"0", L"--all"},
        {L"lockpolicy", L"0"},
    };
    for (const auto& args : wrong) {
        std::wstring joined;
        for (const auto& a : args) {
            joined += L"[" + a + L"]";
        }
        EXPECT_NE(Parse(args).error, L"") << joined;
    }
}

}  // namespace
