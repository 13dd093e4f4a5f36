#include "agent_rules.h"

#include "names.h"

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

std::uint32_t KeystrokeFlags(std::uint8_t scanCode, unsigned extended, bool keyUp)
{
    std::uint32_t flags = 1;  // repeat count
    flags |= static_cast<std::uint32_t>(scanCode) << 16;
    flags |= static_cast<std::uint32_t>(extended & 1u) << 24;
    if (keyUp) {
        flags |= 0xC0000000u;  // previous key state and transition state
    }
    return flags;
}

std::wstring PolicyValueName(const wchar_t* name)
{
    if (NamesEqual(name, L"LWin+L") || NamesEqual(name, L"RWin+L")) {
        return L"Win+L";
    }
    return name != nullptr ? name : L"";
}

bool SettingBlocks(bool readSucceeded, const std::uint8_t (&buffer)[4])
{
    return readSucceeded && DwordFromBytes(buffer) == 1;
}
