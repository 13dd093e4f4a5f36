// The keyboard filter driver's configuration as both programs and the driver
// stand-in see it: the hotkey key, the event names, and how a 32-bit setting
// is read from the bytes of a registry value. Needs no Windows header.
#pragma once

#include <cstdint>
#include <string>

// Below HKEY_LOCAL_MACHINE; one subkey per hotkey, named after the hotkey.
constexpr const wchar_t* kHotkeyKeyPath = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey";
// A hotkey's event is this prefix followed by the hotkey name.
constexpr const wchar_t* kHotkeyEventPrefix = L"ZQKBFiltr";
// Exists while the service has a user logged on at the console.
constexpr const wchar_t* kLogonMarkerName = L"ZQKBFiltrWinLogon";

// The hotkey key's path, a backslash, and the name unchanged.
std::wstring HotkeySubkeyPath(const wchar_t* name);

// The name of a hotkey's event: "ZQKBFiltr" followed by the hotkey name,
// without a namespace prefix.
std::wstring HotkeyEventName(const wchar_t* name);

// The 32-bit little-endian number in a value's first four bytes (a shorter
// value leaves the remaining bytes as the caller zeroed them).
std::uint32_t DwordFromBytes(const std::uint8_t (&bytes)[4]);
