// The agent's entry and the actions for one hotkey press.
#pragma once

#include <string>

// The program's work: the hotkey name from the process command line, then
// HandleHotkey. Returns the exit code, 0 on every path.
int RunAgent();

// Forwards the hotkey into a known remote-desktop client in the foreground,
// or else, unless it is blocked, performs the local action. Names other than
// "ctrl+alt+del", "LWin+L" and "RWin+L" (any ASCII case) are ignored.
void HandleHotkey(const wchar_t* hotkeyName);

// The local action around the lock policy: with a user at the console, sets
// the user's "DisableLockWorkstation" to 0, performs `action`, waits for the
// secure desktop and sets the value to 1. Without a console user nothing
// happens.
void RunLocalAction(void (*action)());

// The name of the current input desktop; false when it cannot be read.
bool GetInputDesktopName(std::wstring& name);

// Polls the input desktop every 50 ms, at most 200 times, until its name is
// "Winlogon" or it cannot be read (true); false when the polls ran out.
bool WaitForWinlogonDesktop();
