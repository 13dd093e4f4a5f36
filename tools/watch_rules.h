// The rules of TarnwickCtl watch that need no Windows call: from what was
// found in front and in the settings, what a press of Win+L and of
// Ctrl+Alt+Del would do at that moment, in the agent's order (a known client
// in front takes the press; else the blocking settings; else the console
// user), and the line that says so. Needs no Windows header.
#pragma once

#include "agent/client_table.h"

#include <string>

// What the agent finds in front (DetectRemoteClient).
struct FrontFacts {
    bool window = false;    // there is a foreground window
    std::wstring fileName;  // of its process; empty when it cannot be read
    bool client = false;    // a known remote-desktop client owns it
    RemoteClientKind kind = Wfica32;
    bool keyWindow = false;      // the client's window for keystrokes
    bool commandWindow = false;  // the client's window for commands
    // A client added by policy: its entry's name and the executable name of
    // the built-in client it is handled like; both empty for a built-in one.
    std::wstring policyName;
    std::wstring policyLike;
};

// Whether the local action of one hotkey is blocked, and by what.
struct Blocking {
    bool blocked = false;      // IsLocalActionBlocked
    bool byBlockLocal = false;  // "BlockLocal" of the hotkey is 1
};

struct WatchFacts {
    FrontFacts front;
    Blocking lwin;        // "LWin+L"
    Blocking rwin;        // "RWin+L"
    Blocking ctrlAltDel;  // "ctrl+alt+del"
    bool userAtConsole = false;
};

enum class PressOutcome {
    Forward,              // delivered into the client in front
    NothingNoKeyWindow,   // the client takes the press; its key window was not found
    NothingNoCommandWindow,  // the client takes the press; its command window was not found
    NothingClientTakesNone,  // the client takes the press; it has no form of the keys
    BlockedByBlockLocal,
    BlockedByPolicy,      // the Keyboard Filter policy
    NothingNoUser,        // no user at the console
    Local,                // the workstation locks, or Ctrl+Alt+Del goes to the local machine
};

PressOutcome PredictWinL(const FrontFacts& front, const Blocking& blocking, bool userAtConsole);
PressOutcome PredictCtrlAltDel(const FrontFacts& front, const Blocking& blocking, bool userAtConsole);

// "Microsoft Remote Desktop (mstsc.exe)".
std::wstring DescribeClient(RemoteClientKind kind);

// One line without the time: "mstsc.exe: client Microsoft Remote Desktop
// (mstsc.exe), key window found, command window found; Win+L: forward into
// mstsc.exe; Ctrl+Alt+Del: forward into mstsc.exe"; for a client added by
// policy "msrdc.exe: client msrdc.exe (policy: like mstsc.exe), ...".
std::wstring FormatWatchLine(const WatchFacts& facts);
