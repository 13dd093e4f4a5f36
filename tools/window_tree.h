// What TarnwickCtl windows shows: the program in front, the tree of windows
// under its foreground window, and which of them each built-in client's rule
// would take, as text and as JSON. Needs no Windows header.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct TreeWindow {
    unsigned depth = 0;  // 0: the foreground window itself
    std::wstring className;
    std::wstring text;
};

// Which windows of the tree a built-in client's rule takes; indexes into the
// tree, none when its rule finds no window.
struct RowPick {
    std::wstring executableName;  // the built-in client, as a policy entry's like= names it
    std::optional<std::size_t> keyWindow;
    std::optional<std::size_t> commandWindow;
};

struct WindowsReport {
    bool foreground = false;                  // there is a foreground window
    std::optional<std::wstring> programName;  // its program's executable file name, when it can be read
    std::vector<TreeWindow> windows;          // in the order of the enumeration, the foreground window first
    std::vector<RowPick> picks;               // one per built-in client, in the table's order
};

std::wstring RenderWindowsText(const WindowsReport& report);
std::wstring RenderWindowsJson(const WindowsReport& report);
