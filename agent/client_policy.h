// Clients that administrators add by policy: one REG_SZ value per client
// under HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Tarnwick\Clients, named after
// the client's executable file, whose data says which built-in client it is
// handled like and, optionally, how its keystroke window is found:
//
//   like=NAME[;class=CLASS | ;text=TEXT]
//
// NAME is one of the built-in executable names; CLASS or TEXT replaces that
// client's criterion for the keystroke window. Blanks around ";" and "=",
// and at the start and end, are ignored; the keys may be written in any
// letter case. Needs no Windows header.
#pragma once

#include "agent/client_table.h"

#include <string>

// Below HKEY_LOCAL_MACHINE.
constexpr const wchar_t* kClientPolicyKeyPath = L"SOFTWARE\\Policies\\Tarnwick\\Clients";

// Why an entry is ignored.
enum class ClientPolicyFault {
    None,
    NotTheGrammar,   // the data does not follow like=NAME[;class=CLASS|;text=TEXT]
    UnknownLike,     // NAME is not a built-in executable name
    ClassAndText,    // both class= and text=
    BuiltInName,     // the entry is named after a built-in executable, which keeps its own row
};

struct ClientPolicyEntry {
    std::wstring executableName;     // the value's name
    const RemoteClientRow* like = nullptr;  // the built-in row it is handled as
    // The keystroke window's criterion: the like row's unless one is given.
    std::wstring className;
    bool byClass = false;
    std::wstring windowText;
    bool byText = false;
};

// Reads one entry: `name` is the value's name, `data` its text. On
// ClientPolicyFault::None `entry` is filled; otherwise it must not be used.
ClientPolicyFault ParseClientPolicyEntry(const std::wstring& name, const std::wstring& data, ClientPolicyEntry& entry);

// The row the entry's client is handled with: the like row, with the
// executable name the entry's and the keystroke window's criterion the
// entry's where it gives one. Its strings point into `entry`, which must
// outlive it.
RemoteClientRow RowOfPolicyClient(const ClientPolicyEntry& entry);

// Why an entry is ignored, in words ("like names no built-in client").
std::wstring ClientPolicyFaultText(ClientPolicyFault fault);
