// Delivering Win+L and Ctrl+Alt+Del into a remote-desktop client in the
// foreground, and Ctrl+Alt+Del into the local input stream.
#pragma once

#include "agent/client_detection.h"
#include "common/win32_api.h"

// Posts one keystroke message (WM_KEYDOWN or WM_KEYUP) to `window`: wParam
// the virtual-key code, lParam built by KeystrokeFlags with the key's scan
// code; only the lowest bit of `extended` counts.
void PostKeyMessage(HWND window, UINT message, BYTE virtualKey, unsigned extended);

// Synthesises Ctrl+Alt+Del: six key events, no pauses, none extended.
void SendLocalCtrlAltDel();

// Posts Win+L, with `windowsKey` (VK_LWIN or VK_RWIN), into the client's
// `targetWindow` in the form the client's kind expects. False only for a
// kind outside 1 to 6; true with nothing sent when `targetWindow` is null.
bool ForwardWinL(BYTE windowsKey, const RemoteClientMatch& match);

// Detects the client in the foreground and delivers its form of
// Ctrl+Alt+Del. True when a known client was in front (the press is
// handled), false when none was and nothing was sent.
bool ForwardCtrlAltDel();
