// The known remote-desktop clients: how each is recognised (the executable
// file name of the foreground process) and which of its windows receive the
// forwarded keys. Needs no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>

// The numbers key the forwarding sequences.
enum RemoteClientKind : std::uint32_t {
    Wfica32 = 1,
    CdViewer = 2,
    Mstsc = 3,
    Qorvane = 4,
    Wswc = 5,
    VmwareView = 6,
};

// Where a client's command message goes.
enum class CommandWindowRule {
    SameAsTarget,        // the keystroke window
    ForegroundWindow,    // the client's top-level foreground window itself
    DescendantByClass,   // the first descendant of class `commandClassName`
};

struct RemoteClientRow {
    const wchar_t* executableName;
    RemoteClientKind kind;
    // The keystroke window is the first descendant of the foreground window
    // with this class name, or (when the class is null) with this text.
    const wchar_t* targetClassName;
    const wchar_t* targetWindowText;
    CommandWindowRule commandRule;
    const wchar_t* commandClassName;  // for DescendantByClass only
};

// The table, in the order in which it is searched, and its number of rows.
extern const RemoteClientRow kRemoteClientRows[];
extern const std::size_t kRemoteClientRowCount;

// The first row whose executable name equals `fileName` (whole string,
// ASCII-only case folding); null when none does.
const RemoteClientRow* FindRemoteClientRow(const wchar_t* fileName);
