// The hotkey table: one named event per configured hotkey, the handles the
// service waits on, and the dispatch of a signalled hotkey.
#pragma once

#include "common/win32_api.h"
#include "service/hotkey_config.h"

#include <memory>

extern std::unique_ptr<HotkeyEntry[]> HotkeyTable;
extern DWORD HotkeyCount;
extern std::unique_ptr<HANDLE[]> WaitHandles;

// Reads the hotkey configuration into the table and creates the hotkey
// events. On failure `error` holds the Win32 error of the call that failed,
// ERROR_BAD_CONFIGURATION when the configuration itself is at fault, or
// ERROR_NOT_ENOUGH_MEMORY when memory ran out. Events created before a
// failure stay open.
bool LoadHotkeyTable(DWORD& error);

// Creates the stop event and the wait-handle array (hotkey events in table
// order, the stop event last).
bool BuildWaitHandles(DWORD& error);

// Serves the hotkey at `index` after its event was signalled.
void DispatchHotkey(DWORD index);

// Closes the entry's event, if it has one, and clears it.
void CloseHotkeyEvent(HotkeyEntry& entry);
