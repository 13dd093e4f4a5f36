// Which known remote-desktop client, if any, owns the foreground window, and
// which of its windows receive forwarded keystrokes and commands.
#pragma once

#include "agent/client_policy.h"
#include "agent/client_table.h"
#include "common/win32_api.h"

#include <string>
#include <vector>

struct RemoteClientMatch {
    RemoteClientKind kind;
    HWND targetWindow;   // receives posted keystrokes; null when not found
    HWND commandWindow;  // receives the posted WM_COMMAND
};

// Buffer sizes of the path reads: the image path as the kernel gives it, and
// its long form.
constexpr DWORD kImagePathChars = 520;
constexpr DWORD kLongPathChars = 520;         // of which 519 are offered
// Buffer size of a window text or class name read.
constexpr int kWindowNameChars = 256;

// True when the foreground window belongs to a process whose executable file
// name is in the client table; `match` is then filled (its windows may be
// null). False otherwise, with `match` left as it was.
bool DetectRemoteClient(RemoteClientMatch& match);

// The same for a given foreground window. `fileNameRead`, when not null,
// receives the file name of the window's program whenever it could be read,
// whether or not it is a client's. A program that is no built-in client is
// looked up among the clients added by policy (agent/client_policy.h); it is
// then handled as the client it is like, and `policyClient`, when not null,
// receives its entry (an entry without a `like` row for a built-in client).
bool DetectRemoteClient(HWND foreground, RemoteClientMatch& match, std::wstring* fileNameRead);
bool DetectRemoteClient(HWND foreground, RemoteClientMatch& match, std::wstring* fileNameRead,
                        ClientPolicyEntry* policyClient);

// The path of a process's executable into `path` (at least kLongPathChars
// characters), with a short (8.3) file name on a local drive made long.
// False when the process cannot be opened, the path cannot be read or does
// not fit, or a short name cannot be made long.
bool GetProcessImagePath(DWORD processId, wchar_t* path);

// The first descendant of `parent` (in enumeration order, `parent` itself
// excluded) whose window text equals `windowText` and whose class name equals
// `className`, each criterion only when given. Null when none does, or at
// once when both criteria are null. A window whose text or class cannot be
// read (it vanished during the walk) never matches.
HWND FindDescendantWindow(HWND parent, const wchar_t* className, const wchar_t* windowText);

// EnumChildWindows callback: appends `window` to the std::vector<HWND> whose
// address is `list`; a null window ends the enumeration.
BOOL CALLBACK CollectChildWindow(HWND window, LPARAM list);
