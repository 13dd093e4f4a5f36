// TarnwickCtl's driver verbs: it stands in for the keyboard filter driver,
// writing, showing and removing hotkeys under HKEY_LOCAL_MACHINE and setting
// a hotkey's event as the driver does when the hotkey is pressed. Each
// returns the exit code: 0 on success, 1 when the operation failed.
#pragma once

#include "tools/ctl_args.h"
#include "tools/ctl_output.h"

// set, set-value: creates the hotkey's subkey if needed and writes the
// command's values.
int SetHotkeyValues(const CtlCommand& command, KCtlOutput& output);

// list: every hotkey and its values.
int ListHotkeys(KCtlOutput& output);

// remove: the hotkey's subkey, or one of its values.
int RemoveHotkey(const CtlCommand& command, KCtlOutput& output);

// press: sets the event "ZQKBFiltr" + the hotkey name.
int PressHotkey(const CtlCommand& command, KCtlOutput& output);
