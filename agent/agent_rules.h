// Rules of the session agent that need no Windows header: the command line,
// the hotkey names, the lParam of a posted keystroke, the settings' registry
// names and how a setting's bytes are read.
#pragma once

#include "driver_config.h"

#include <cstdint>
#include <string>

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

// The lParam of a posted WM_KEYDOWN or WM_KEYUP: repeat count 1, the scan
// code in bits 16-23, the extended flag (only its lowest bit counts) in bit
// 24, the context code always 0, and bits 30 and 31 set for a release.
std::uint32_t KeystrokeFlags(std::uint8_t scanCode, unsigned extended, bool keyUp);

constexpr const wchar_t* kBlockLocalValue = L"BlockLocal";
constexpr const wchar_t* kKeyboardFilterKeyPath = L"SOFTWARE\\Policies\\Microsoft\\KeyboardFilter";

// The Keyboard Filter policy value of a hotkey: "Win+L" for "LWin+L" and
// "RWin+L" (any ASCII case), otherwise the name unchanged.
std::wstring PolicyValueName(const wchar_t* name);

// A setting blocks only when it could be read into its 4-byte buffer and the
// buffer, read as an unsigned little-endian number, is 1. Data shorter than
// 4 bytes fills the first bytes of a buffer that starts out as zeros.
bool SettingBlocks(bool readSucceeded, const std::uint8_t (&buffer)[4]);
