#include "tools/windows_verb.h"

#include "agent/client_detection.h"
#include "agent/client_table.h"

#include <vector>

namespace {

// A window's class name or text, as detection reads it; empty when it
// cannot be read.
template <typename Read>
std::wstring WindowString(HWND window, const Read& read)
{
    wchar_t buffer[kWindowNameChars] = {};
    const int length = read(window, buffer, kWindowNameChars);
    if (length <= 0) {
        return std::wstring();
    }
    return std::wstring(buffer, static_cast<std::size_t>(length < kWindowNameChars ? length : kWindowNameChars - 1));
}

// How many parents lie between `window` and `top` (1 for a child of `top`);
// 0 when `top` is not among its ancestors.
unsigned DepthBelow(HWND window, HWND top)
{
    unsigned depth = 0;
    for (HWND parent = window; parent != nullptr && parent != top; ++depth) {
        parent = win32.GetAncestor(parent, GA_PARENT);
        if (depth > 1024) {
            return 0;
        }
    }
    return depth;
}

std::optional<std::size_t> IndexOf(const std::vector<HWND>& windows, HWND window)
{
    for (std::size_t i = 0; window != nullptr && i < windows.size(); ++i) {
        if (windows[i] == window) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

WindowsReport ReadWindowTree(HWND foreground)
{
    WindowsReport report;
    report.foreground = foreground != nullptr;
    if (foreground == nullptr) {
        return report;
    }
    DWORD processId = 0;
    win32.GetWindowThreadProcessId(foreground, &processId);
    wchar_t path[kLongPathChars] = {};
    if (processId != 0 && GetProcessImagePath(processId, path)) {
        const wchar_t* fileName = win32.PathFindFileNameW(path);
        if (fileName != nullptr) {
            report.programName = std::wstring(fileName);
        }
    }
    std::vector<HWND> windows = {foreground};
    win32.EnumChildWindows(foreground, CollectChildWindow, reinterpret_cast<LPARAM>(&windows));
    for (const HWND window : windows) {
        TreeWindow line;
        line.depth = window == foreground ? 0 : DepthBelow(window, foreground);
        line.className = WindowString(window, win32.GetClassNameW);
        line.text = WindowString(window, win32.GetWindowTextW);
        report.windows.push_back(line);
    }
    // Each built-in client's rule, as detection applies it.
    for (std::size_t i = 0; i < kRemoteClientRowCount; ++i) {
        const RemoteClientRow& row = kRemoteClientRows[i];
        RowPick pick;
        pick.executableName = row.executableName;
        const HWND key = FindDescendantWindow(foreground, row.targetClassName, row.targetWindowText);
        HWND command = key;
        if (row.commandRule == CommandWindowRule::ForegroundWindow) {
            command = foreground;
        } else if (row.commandRule == CommandWindowRule::DescendantByClass) {
            command = FindDescendantWindow(foreground, row.commandClassName, nullptr);
        }
        pick.keyWindow = IndexOf(windows, key);
        pick.commandWindow = IndexOf(windows, command);
        report.picks.push_back(pick);
    }
    return report;
}

int RunWindowsVerb(const CtlCommand& command, KCtlOutput& output)
{
    if (command.waitSeconds > 0) {
        if (!command.json) {
            output.Out(L"reading the windows in " + std::to_wstring(command.waitSeconds) +
                       L" s: bring the client to the front\n");
        }
        win32.Sleep(command.waitSeconds * 1000u);
    }
    const WindowsReport report = ReadWindowTree(win32.GetForegroundWindow());
    output.Out(command.json ? RenderWindowsJson(report) : RenderWindowsText(report));
    return 0;
}
