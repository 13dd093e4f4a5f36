// The driver's hotkey configuration, one named event per hotkey, and the
// dispatch of a signalled hotkey.
#pragma once

#include "common/driver_config.h"
#include "common/win32_api.h"

#include <memory>
#include <string>
#include <vector>


constexpr size_t kHotkeyNameChars = 128;     // 127 characters and NUL
constexpr size_t kHotkeyCommandChars = 520;  // 519 characters and NUL
// One wait covers 64 handles and the stop event takes one.
constexpr DWORD kMaxHotkeys = MAXIMUM_WAIT_OBJECTS - 1;

struct HotkeyEntry {
    HANDLE event;
    wchar_t name[kHotkeyNameChars];
    wchar_t command[kHotkeyCommandChars];
    DWORD block;
};

extern std::unique_ptr<HotkeyEntry[]> HotkeyTable;
extern DWORD HotkeyCount;
extern std::unique_ptr<HANDLE[]> WaitHandles;

// Reads the hotkey key and creates the hotkey events. On failure `error`
// holds the Win32 error of the call that failed, or ERROR_BAD_CONFIGURATION
// when the configuration itself is at fault.
bool LoadHotkeyTable(DWORD& error);

// Collects the names of the subkeys of `key`. True when as many names were
// collected as the key reports subkeys; otherwise `error` holds the error of
// the last enumeration call that failed (or ERROR_NO_MORE_ITEMS).
bool EnumHotkeyNames(HKEY key, std::vector<std::wstring>& names, DWORD& error);

// Reads the REG_SZ "run" of an open hotkey subkey.
bool ReadRunCommand(HKEY subkey, std::wstring& command, DWORD& error);

// Creates the stop event and the wait-handle array (hotkey events in table
// order, the stop event last).
bool BuildWaitHandles(DWORD& error);

// Serves the hotkey at `index` after its event was signalled.
void DispatchHotkey(DWORD index);
