// floor_poster: the least a program can do for one key press into the fake
// Microsoft Remote Desktop client, doing what the press needs: tell which
// client owns the foreground window (open its process, read its image path
// from the kernel, take its file name and compare it with "mstsc.exe"; a
// short file name, which the fake client's is not, would need its long form
// too), find that
// window's child with the text "Input Capture Window" and post one
// WM_KEYDOWN of the left Windows key to it, with the key's scan code from the
// keyboard layout in its lParam. Started by the service in place
// of the agent, it gives the floor of the press-to-key time. With another
// program in front, or without such a window, it just exits.
//
// Plain C-style code without the C++ library, so that the floor carries no
// cost of its own.
#include <windows.h>

namespace {

const wchar_t kClientFileName[] = L"mstsc.exe";
const wchar_t kCaptureWindowText[] = L"Input Capture Window";

wchar_t FoldAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Whole strings, without regard to the case of A to Z.
bool SameNameAscii(const wchar_t* a, const wchar_t* b)
{
    for (; *a != L'\0' && *b != L'\0'; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) {
            return false;
        }
    }
    return *a == *b;
}

// Whether the process that owns `window` runs an executable named like the
// client, judged by the file name of its image path.
bool IsClientWindow(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == 0) {
        return false;
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return false;
    }
    wchar_t longPath[520] = {};
    DWORD length = 520;
    const BOOL read = QueryFullProcessImageNameW(process, 0, longPath, &length);
    CloseHandle(process);
    if (!read || length == 0) {
        return false;
    }
    const wchar_t* fileName = longPath;
    for (const wchar_t* c = longPath; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/' || *c == L':') {
            fileName = c + 1;
        }
    }
    return SameNameAscii(fileName, kClientFileName);
}

BOOL CALLBACK FindCaptureWindow(HWND window, LPARAM found)
{
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    if (SameNameAscii(text, kCaptureWindowText)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const HWND foreground = GetForegroundWindow();
    if (foreground == nullptr || !IsClientWindow(foreground)) {
        return 0;
    }
    HWND target = nullptr;
    EnumChildWindows(foreground, FindCaptureWindow, reinterpret_cast<LPARAM>(&target));
    if (target != nullptr) {
        // The key's scan code from the keyboard layout, as every posted key
        // carries it: repeat count 1, the scan code, the extended flag.
        const UINT scan = MapVirtualKeyW(VK_LWIN, MAPVK_VK_TO_VSC) & 0xFF;
        PostMessageW(target, WM_KEYDOWN, VK_LWIN, static_cast<LPARAM>(0x01000001u | (scan << 16)));
    }
    return 0;
}
