#include "agent_rules.h"
#include "client_table.h"

#include <gtest/gtest.h>

#include <string>

TEST(HotkeyNameFromCommandLine, SkipsTheProgramNameAsTheGuiStartUpDoes)
{
    struct Case {
        const wchar_t* commandLine;
        const wchar_t* name;
    } const cases[] = {
        {L"TarnwickAgent.exe LWin+L", L"LWin+L"},
        {L"\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\"   \t\tRWin+L", L"RWin+L"},
        {L"\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\" ctrl+alt+del", L"ctrl+alt+del"},
        {L"C:\\Tarnwick\\TarnwickAgent.exe LWin+L ", L"LWin+L "},                // trailing blank stays
        {L"TarnwickAgent.exe \"LWin+L\"", L"\"LWin+L\""},                        // quotes stay
        {L"TarnwickAgent.exe LWIN+L", L"LWIN+L"},
        {L"TarnwickAgent.exe lwin+l x", L"lwin+l x"},                           // one remainder, not arguments
        {L"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe RWin+L", L"Files\\Tarnwick\\TarnwickAgent.exe RWin+L"},
        {L"C:\\\"Program Files\"\\TarnwickAgent.exe LWin+L", L"LWin+L"},        // quotes anywhere in the name
        {L"\"C:\\Tarnwick\\TarnwickAgent.exe", L""},                            // quote never closed
        {L"TarnwickAgent.exe", L""},
        {L"TarnwickAgent.exe   ", L""},
        {L"TarnwickAgent.exe\x01\x1F LWin+L", L"LWin+L"},                       // every code 0x01-0x20 skipped
        {L"TarnwickAgent.exe\tLWin+L", L"LWin+L"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::wstring(HotkeyNameFromCommandLine(c.commandLine)), c.name) << "'" << c.commandLine << "'";
    }
    EXPECT_EQ(std::wstring(HotkeyNameFromCommandLine(nullptr)), L"");
}

TEST(ClassifyHotkey, KnowsThreeNamesInAnyAsciiCaseAndNothingElse)
{
    struct Case {
        const wchar_t* name;
        AgentHotkey hotkey;
        std::uint8_t windowsKey;
    } const cases[] = {
        {L"ctrl+alt+del", AgentHotkey::CtrlAltDel, kVkLWin},
        {L"CTRL+ALT+DEL", AgentHotkey::CtrlAltDel, kVkLWin},
        {L"LWin+L", AgentHotkey::LWinL, kVkLWin},
        {L"lwin+l", AgentHotkey::LWinL, kVkLWin},
        {L"LWIN+L", AgentHotkey::LWinL, kVkLWin},
        {L"RWin+L", AgentHotkey::RWinL, kVkRWin},
        {L"rWIN+l", AgentHotkey::RWinL, kVkRWin},
        {L"Win+L", AgentHotkey::None, kVkLWin},
        {L"LWin+L ", AgentHotkey::None, kVkLWin},
        {L"\"LWin+L\"", AgentHotkey::None, kVkLWin},
        {L"RWin+L ", AgentHotkey::None, kVkLWin},
        {L"ctrl+alt+delete", AgentHotkey::None, kVkLWin},
        {L"", AgentHotkey::None, kVkLWin},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyHotkey(c.name), c.hotkey) << "'" << c.name << "'";
        EXPECT_EQ(WindowsKeyFor(c.name), c.windowsKey) << "'" << c.name << "'";
    }
}

TEST(KeystrokeFlags, HoldsRepeatScanExtendedAndReleaseBitsOnly)
{
    struct Case {
        std::uint8_t scan;
        unsigned extended;
        bool keyUp;
        std::uint32_t lParam;
    } const cases[] = {
        {0x5B, 1, false, 0x015B0001u},
        {0x5B, 1, true, 0xC15B0001u},
        {0x26, 0, false, 0x00260001u},
        {0x26, 0, true, 0xC0260001u},
        {0x38, 0, false, 0x00380001u},  // Alt: context code (bit 29) stays clear
        {0xFF, 1, true, 0xC1FF0001u},
        {0x00, 0, false, 0x00000001u},  // a key without a scan code
        {0x26, 2, false, 0x00260001u},  // only the lowest bit of the flag counts
        {0x26, 3, true, 0xC1260001u},
        {0x26, 0xFFFFFFFEu, true, 0xC0260001u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeystrokeFlags(c.scan, c.extended, c.keyUp), c.lParam)
            << std::hex << "scan " << unsigned(c.scan) << " extended " << c.extended << " up " << c.keyUp;
    }
}

TEST(FindRemoteClientRow, MatchesWholeExecutableNamesFoldingAsciiOnly)
{
    struct Case {
        const wchar_t* fileName;
        std::uint32_t kind;  // 0: no row
    } const cases[] = {
        {L"wfica32.exe", Wfica32},     {L"CDViewer.exe", CdViewer},  {L"cdviewer.EXE", CdViewer},
        {L"mstsc.exe", Mstsc},         {L"MSTSC.EXE", Mstsc},        {L"qorvane.exe", Qorvane},
        {L"wswc.exe", Wswc},           {L"vmware-view.exe", VmwareView},
        {L"VMWARE-VIEW.EXE", VmwareView},
        {L"mstsc.exe.old", 0},         {L"mymstsc.exe", 0},          {L"mstsc", 0},
        {L"mstsc.exe ", 0},            {L" mstsc.exe", 0},           {L"vmware_view.exe", 0},
        {L"MSTSC\u0130.EXE", 0},       {L"", 0},
    };
    for (const Case& c : cases) {
        const RemoteClientRow* row = FindRemoteClientRow(c.fileName);
        EXPECT_EQ(row == nullptr ? 0u : static_cast<std::uint32_t>(row->kind), c.kind) << "'" << c.fileName << "'";
    }
}

TEST(Settings, SubkeyAndPolicyValueNames)
{
    EXPECT_EQ(HotkeySubkeyPath(L"LWin+L"), L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\LWin+L");
    EXPECT_EQ(HotkeySubkeyPath(L"LWIN+L "), L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\LWIN+L ");
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
