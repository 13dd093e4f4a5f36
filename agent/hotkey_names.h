// The hotkey name the agent is started with: how it is taken from the process
// command line, which names the agent acts on, and the Windows key of a Win+L
// hotkey. Needs no Windows header.
#pragma once

#include <cstdint>

// The part of the process command line that follows the program name, as the
// Windows GUI start-up derives it: the program name runs up to the first
// character of code 0x20 or below outside double quotes (each quote switches
// between inside and outside); then every character of code 0x01 to 0x20 is
// skipped. What remains is returned unchanged (quotes and trailing blanks
// included). A null command line gives an empty remainder.
const wchar_t* HotkeyNameFromCommandLine(const wchar_t* commandLine);

// The hotkeys the agent acts on. Names are compared as whole strings,
// folding only the ASCII letters.
enum class AgentHotkey { None, CtrlAltDel, LWinL, RWinL };
AgentHotkey ClassifyHotkey(const wchar_t* name);

constexpr std::uint8_t kVkLWin = 0x5B;
constexpr std::uint8_t kVkRWin = 0x5C;

// The Windows key that Win+L is forwarded with: VK_RWIN for "RWin+L",
// VK_LWIN otherwise.
std::uint8_t WindowsKeyFor(const wchar_t* name);
