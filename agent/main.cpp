#include "agent/hotkey_actions.h"

#include <windows.h>

// Started by the service once per hotkey press with the hotkey name as its
// argument; no window, exit code 0 on every path.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return RunAgent();
}
