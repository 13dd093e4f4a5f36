// The known remote-desktop clients: how each is recognised (the executable
// file name of the foreground process), which of its windows receive the
// forwarded keys, and in which form it is sent Win+L and Ctrl+Alt+Del. The
// agent's forwarding and TarnwickCtl watch both go by these rows. Needs no
// Windows header.
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

// How a client is sent Win+L: the four keystroke messages (Windows key down,
// L down, L up, Windows key up) posted to its keystroke window.
enum class WinLForm {
    PostedTwiceWithPauses,  // two passes, 100 ms after the L press and after the Windows key's release
    PostedOnce,             // one pass, 50 ms between the L press and the L release
    NotSent,                // the client takes Win+L, and nothing is sent
};

// How a client is sent Ctrl+Alt+Del.
enum class CtrlAltDelForm {
    CtrlF1Synthesised,          // Del, Alt and Ctrl released, then Ctrl+F1, into the input stream
    CtrlAltDelPosted,           // the six keystrokes posted to the keystroke window, every key extended
    CtrlAltEndSynthesised,      // Ctrl+Alt+End into the input stream
    EndHeldForASecond,          // End pressed, held for 1000 ms, released, into the input stream
    InsertThenCommand,          // Insert for 50 ms into the input stream, then WM_COMMAND `command`
                                // posted to the command window
};

// The command identifiers the VMware clients take for Ctrl+Alt+Del.
constexpr std::uint32_t kWswcCtrlAltDelCommand = 28;
constexpr std::uint32_t kVmwareViewCtrlAltDelCommand = 455;

struct RemoteClientRow {
    const wchar_t* executableName;
    RemoteClientKind kind;
    const wchar_t* productName;  // short, for people: "Microsoft Remote Desktop"
    // The keystroke window is the first descendant of the foreground window
    // with this class name, or (when the class is null) with this text.
    const wchar_t* targetClassName;
    const wchar_t* targetWindowText;
    CommandWindowRule commandRule;
    const wchar_t* commandClassName;  // for DescendantByClass only
    WinLForm winL;
    CtrlAltDelForm ctrlAltDel;
    std::uint32_t command;  // for InsertThenCommand only
};

// The table, in the order in which it is searched, and its number of rows.
extern const RemoteClientRow kRemoteClientRows[];
extern const std::size_t kRemoteClientRowCount;

// The first row whose executable name equals `fileName` (whole string,
// ASCII-only case folding); null when none does.
const RemoteClientRow* FindRemoteClientRow(const wchar_t* fileName);

// The row of a kind; null for a kind that has none.
const RemoteClientRow* RemoteClientRowOfKind(std::uint32_t kind);

// Which window a Ctrl+Alt+Del in the row's form needs in order to reach the
// client: none (it goes into the input stream), the keystroke window, or
// the command window.
enum class CtrlAltDelNeeds { Nothing, KeyWindow, CommandWindow };
CtrlAltDelNeeds WindowNeededForCtrlAltDel(const RemoteClientRow& row);
