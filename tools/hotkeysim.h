// hotkeysim, the stand-in for the keyboard filter driver: the operations on
// the driver's hotkey key under HKEY_LOCAL_MACHINE and on the hotkey events.
#pragma once

#include <string>
#include <vector>

// Runs hotkeysim with the arguments that follow the program name. Normal
// output goes to `out`, error messages to `err`. Returns the exit code: 0 on
// success, 1 when the operation failed, 2 for wrong arguments.
int RunHotkeySim(const std::vector<std::wstring>& args, std::wstring& out, std::wstring& err);
