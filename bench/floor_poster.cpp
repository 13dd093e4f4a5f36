// floor_poster: the least a program can do for one key press into the fake
// Microsoft Remote Desktop client: find the foreground window's child with
// the text "Input Capture Window" and post one WM_KEYDOWN of the left
// Windows key to it. Started by the service in place of the agent, it gives
// the floor of the press-to-key time. Without such a window it just exits.
#include <windows.h>

namespace {

BOOL CALLBACK FindCaptureWindow(HWND window, LPARAM found)
{
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    if (lstrcmpW(text, L"Input Capture Window") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    HWND target = nullptr;
    const HWND foreground = GetForegroundWindow();
    if (foreground != nullptr) {
        EnumChildWindows(foreground, FindCaptureWindow, reinterpret_cast<LPARAM>(&target));
    }
    if (target != nullptr) {
        PostMessageW(target, WM_KEYDOWN, VK_LWIN, 1);
    }
    return 0;
}
