// Reading the driver's hotkey configuration: the names of the hotkeys and
// the values of one hotkey, without creating anything. The service's load
// and the administrator's check both read it through these functions.
#pragma once

#include "common/handles.h"
#include "common/win32_api.h"

#include <string>
#include <vector>

constexpr size_t kHotkeyNameChars = 128;     // 127 characters and NUL
constexpr size_t kHotkeyCommandChars = 520;  // 519 characters and NUL
// One wait covers 64 handles and the stop event takes one.
constexpr DWORD kMaxHotkeys = MAXIMUM_WAIT_OBJECTS - 1;

// One hotkey of the table. Its event is owned by the entry and closed with it.
struct HotkeyEntry {
    KHandle event;
    wchar_t name[kHotkeyNameChars];
    wchar_t command[kHotkeyCommandChars];
    DWORD block;
};

// Collects the names of the subkeys of `key`. True when as many names were
// collected as the key reports subkeys; otherwise `error` holds the error of
// the last enumeration call that failed (or ERROR_NO_MORE_ITEMS), or that of
// the query for the number of subkeys when it failed and counted none.
bool EnumHotkeyNames(HKEY key, std::vector<std::wstring>& names, DWORD& error);

// Reads the REG_SZ "run" of an open hotkey subkey.
bool ReadRunCommand(HKEY subkey, std::wstring& command, DWORD& error);

// The names of the hotkeys, in enumeration order (the table order). False
// with `error` set when the hotkey key cannot be opened (its error), a name
// cannot be enumerated, or there are no hotkeys or more than kMaxHotkeys
// (ERROR_BAD_CONFIGURATION); `names` then holds what was collected.
bool ReadHotkeyNames(std::vector<std::wstring>& names, DWORD& error);

// Reads the hotkey `name` into `entry`: its name, its "run" as the command
// and its "Block" (0 when it cannot be read); `entry.event` is not touched.
// False with `error` set when the name or the command does not fit the
// entry, the name would make the hotkey's event the logon marker, or "run"
// is missing or not REG_SZ (ERROR_BAD_CONFIGURATION), or the
// subkey or "run" cannot be read (the error of that call).
bool ReadHotkeyConfig(const std::wstring& name, HotkeyEntry& entry, DWORD& error);
