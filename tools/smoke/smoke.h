// TarnwickSmoke: Win+L and Ctrl+Alt+Del pressed as TarnwickCtl press (and
// the driver) presses them, through the running service and the agent, into
// a stand-in for Microsoft Remote Desktop: a copy of this program named
// mstsc.exe, in client mode (tools/smoke/smoke_client.h).
#pragma once

#include "common/win32_api.h"
#include "tools/ctl_output.h"

#include <string>

// How long a run waits. Every wait polls through win32.Sleep and
// win32.GetTickCount, but for the end of the client's process, which
// WaitForSingleObject waits for.
struct SmokeTimings {
    DWORD pollMs = 50;
    DWORD clientStartMs = 15000;  // until the client's windows exist
    DWORD foregroundMs = 5000;    // until its window is in front by itself
    DWORD clickMs = 60000;        // then, until the tester has clicked into it
    DWORD keysMs = 15000;         // after a press, until its keys have arrived
    DWORD settleMs = 500;         // after they arrived, for any that follow
    DWORD clientEndMs = 5000;     // after WM_CLOSE, and again after TerminateProcess
    DWORD deleteMs = 5000;        // until the copy of the program can be deleted
};

// The whole run: the service and the two hotkeys, the client, the presses
// of Win+L and Ctrl+Alt+Del, and the removal of the client. One line per
// step (PASS, FAIL, or SKIP for a step that a failure before it left out),
// then the result. A hotkey is pressed only while the client's window is in
// front. 0 when every step passed, 1 otherwise.
int RunSmoke(const std::wstring& serviceName, KCtlOutput& output, const SmokeTimings& timings = SmokeTimings());

// Ends the waits of a run (Ctrl+C): what is still to be pressed is not, the
// client is removed, and the run fails.
void InterruptSmoke();
