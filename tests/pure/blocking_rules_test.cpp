#include "agent/blocking_rules.h"

#include <gtest/gtest.h>

#include <string>

TEST(PolicyValueName, IsWinLForBothWindowsKeysAndTheNameOtherwise)
{
    struct Case {
        const wchar_t* hotkey;
        const wchar_t* value;
    } const cases[] = {
        {L"LWin+L", L"Win+L"},   {L"RWin+L", L"Win+L"},       {L"LWIN+L", L"Win+L"},
        {L"rwin+l", L"Win+L"},   {L"ctrl+alt+del", L"ctrl+alt+del"},
        {L"CTRL+ALT+DEL", L"CTRL+ALT+DEL"},                   {L"Win+L", L"Win+L"},
        {L"LWin+L ", L"LWin+L "}, {L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PolicyValueName(c.hotkey), c.value) << "'" << c.hotkey << "'";
    }
}

TEST(SettingBlocks, OnlyASuccessfulReadOfLittleEndianOne)
{
    struct Case {
        bool read;
        std::uint8_t bytes[4];
        bool blocks;
    } const cases[] = {
        {true, {1, 0, 0, 0}, true},
        {false, {1, 0, 0, 0}, false},  // the read failed: the buffer means nothing
        {true, {0, 0, 0, 0}, false},
        {true, {2, 0, 0, 0}, false},
        {true, {0, 0, 0, 1}, false},   // big-endian 1
        {true, {1, 1, 0, 0}, false},
        {true, {0x31, 0, 0, 0}, false},  // the text "1"
        {true, {1, 0, 0, 0x80}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SettingBlocks(c.read, c.bytes), c.blocks)
            << c.read << " " << int(c.bytes[0]) << " " << int(c.bytes[1]) << " " << int(c.bytes[2]) << " "
            << int(c.bytes[3]);
    }
}
