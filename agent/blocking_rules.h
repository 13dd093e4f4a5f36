// Where the settings that block a hotkey's local action live, and how their
// bytes are read. Needs no Windows header.
#pragma once

#include <cstdint>
#include <string>

constexpr const wchar_t* kBlockLocalValue = L"BlockLocal";
constexpr const wchar_t* kKeyboardFilterKeyPath = L"SOFTWARE\\Policies\\Microsoft\\KeyboardFilter";

// The Keyboard Filter policy value of a hotkey: "Win+L" for "LWin+L" and
// "RWin+L" (any ASCII case), otherwise the name unchanged.
std::wstring PolicyValueName(const wchar_t* name);

// A setting blocks only when it could be read into its 4-byte buffer and the
// buffer, read as an unsigned little-endian number, is 1. Data shorter than
// 4 bytes fills the first bytes of a buffer that starts out as zeros.
bool SettingBlocks(bool readSucceeded, const std::uint8_t (&buffer)[4]);
