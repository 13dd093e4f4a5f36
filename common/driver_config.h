// The keyboard filter driver's configuration as both programs and the driver
// stand-in see it: the hotkey key, the event names, and how a 32-bit setting
// is read from the bytes of a registry value. Needs no Windows header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Below HKEY_LOCAL_MACHINE; one subkey per hotkey, named after the hotkey.
constexpr const wchar_t* kHotkeyKeyPath = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey";
// A hotkey's event is this prefix followed by the hotkey name.
constexpr const wchar_t* kHotkeyEventPrefix = L"ZQKBFiltr";
// Exists while the service has a user logged on at the console.
constexpr const wchar_t* kLogonMarkerName = L"ZQKBFiltrWinLogon";

// Who may use the service's named events (the hotkey events and the logon
// marker): SYSTEM and the Administrators group, with every right an event
// has (EVENT_ALL_ACCESS), so that an administrator's tools can set and wait
// on them; nobody else. Protected: nothing is inherited. Owned by SYSTEM,
// the service's own account (a process may always make its own user the
// owner). The driver opens the events from kernel mode, where this does not
// apply.
constexpr const wchar_t* kServiceEventSecurity = L"O:SYD:P(A;;0x1F0003;;;SY)(A;;0x1F0003;;;BA)";

// The names under which a program in a user's session finds one of the
// service's events, in the order to try them: the global namespace, where a
// service's named objects live on Windows, then the name as it is (the
// session's own namespace, which is also the only one where no sessions
// are kept apart).
std::vector<std::wstring> ServiceEventNamesToOpen(const std::wstring& name);

// The hotkey key's path, a backslash, and the name unchanged.
std::wstring HotkeySubkeyPath(const wchar_t* name);

// The name of a hotkey's event: "ZQKBFiltr" followed by the hotkey name,
// without a namespace prefix.
std::wstring HotkeyEventName(const wchar_t* name);

// True when the hotkey's event would be the logon marker, "WinLogon" in any
// letter case: the names of kernel objects ignore case (the object manager
// compares them upper-cased, and the dotless i upper-cases to I). Such a
// hotkey's event would keep the marker in existence for good.
bool HotkeyEventIsTheLogonMarker(const std::wstring& name);

// The 32-bit little-endian number in a value's first four bytes (a shorter
// value leaves the remaining bytes as the caller zeroed them).
std::uint32_t DwordFromBytes(const std::uint8_t (&bytes)[4]);
