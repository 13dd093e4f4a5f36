#include "agent/hotkey_names.h"

#include "common/names.h"

const wchar_t* HotkeyNameFromCommandLine(const wchar_t* commandLine)
{
    if (commandLine == nullptr) {
        return L"";
    }
    const wchar_t* p = commandLine;
    bool quoted = false;
    for (; *p != L'\0'; ++p) {
        if (*p == L'"') {
            quoted = !quoted;
        } else if (!quoted && *p <= L' ') {
            break;
        }
    }
    while (*p != L'\0' && *p <= L' ') {
        ++p;
    }
    return p;
}

AgentHotkey ClassifyHotkey(const wchar_t* name)
{
    if (NamesEqual(name, L"ctrl+alt+del")) {
        return AgentHotkey::CtrlAltDel;
    }
    if (NamesEqual(name, L"LWin+L")) {
        return AgentHotkey::LWinL;
    }
    if (NamesEqual(name, L"RWin+L")) {
        return AgentHotkey::RWinL;
    }
    return AgentHotkey::None;
}

std::uint8_t WindowsKeyFor(const wchar_t* name)
{
    return NamesEqual(name, L"RWin+L") ? kVkRWin : kVkLWin;
}
