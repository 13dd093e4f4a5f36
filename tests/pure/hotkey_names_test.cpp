#include "agent/hotkey_names.h"

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
