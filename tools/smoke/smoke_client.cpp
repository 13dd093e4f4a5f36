#include "tools/smoke/smoke_client.h"

#include "common/handles.h"
#include "tools/smoke/smoke_rules.h"

#include <cstdint>
#include <string>

namespace {

constexpr const wchar_t* kFrameClass = L"TarnwickSmokeFrame";
constexpr const wchar_t* kCaptureClass = L"TarnwickSmokeCapture";
constexpr const wchar_t* kFrameTitle = L"TarnwickSmoke: stand-in for Remote Desktop (leave it in front)";
constexpr DWORD kLifetimeMs = 10 * 60 * 1000;
constexpr DWORD kForegroundTries = 50;
constexpr DWORD kForegroundPauseMs = 20;

HANDLE RecordFile = nullptr;
HWND Frame = nullptr;
HWND Capture = nullptr;

void Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    KeyRecord record;
    record.atCaptureWindow = window == Capture;
    record.message = message;
    record.wParam = static_cast<std::uint32_t>(wParam);
    record.lParam = static_cast<std::uint32_t>(lParam);
    const std::string line = FormatRecordLine(record);
    DWORD written = 0;
    win32.WriteFile(RecordFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LRESULT CALLBACK ClientWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        Record(window, message, wParam, lParam);
        return 0;  // handled: no menu mode on Alt, no system command
    case WM_SETFOCUS:
        // Activating the frame gives it the focus: pass it on to the
        // keystroke window, as the real client does.
        if (window == Frame && Capture != nullptr) {
            win32.SetFocus(Capture);
            return 0;
        }
        break;
    case WM_SIZE:
        if (window == Frame && Capture != nullptr) {
            win32.MoveWindow(Capture, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        }
        return 0;
    case WM_DESTROY:
        if (window == Frame) {
            win32.PostQuitMessage(0);
        }
        break;
    default:
        break;
    }
    return win32.DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ClientWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = win32.LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::intptr_t>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = name;
    return win32.RegisterClassW(&windowClass) != 0;
}

bool MakeWindows()
{
    const HINSTANCE instance = win32.GetModuleHandleW(nullptr);
    if (!RegisterWindowClass(instance, kFrameClass) || !RegisterWindowClass(instance, kCaptureClass)) {
        return false;
    }
    Frame = win32.CreateWindowExW(0, kFrameClass, kFrameTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 560, 240,
                            nullptr, nullptr, instance, nullptr);
    if (Frame == nullptr) {
        return false;
    }
    RECT area = {};
    win32.GetClientRect(Frame, &area);
    Capture = win32.CreateWindowExW(0, kCaptureClass, kCaptureWindowText, WS_CHILD | WS_VISIBLE, 0, 0, area.right,
                              area.bottom, Frame, nullptr, instance, nullptr);
    if (Capture == nullptr) {
        return false;
    }
    // The first ShowWindow takes the show state that the starter gave.
    win32.ShowWindow(Frame, SW_SHOWNORMAL);
    return true;
}

bool WriteReady()
{
    const std::string line =
        FormatReadyLine(reinterpret_cast<std::uintptr_t>(Frame), reinterpret_cast<std::uintptr_t>(Capture));
    DWORD written = 0;
    return win32.WriteFile(RecordFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) != FALSE &&
           written == line.size();
}

// Dispatches the messages of the windows until the frame is destroyed, the
// parent has ended or the lifetime is over.
void RunMessageLoop(HANDLE parent)
{
    const DWORD start = win32.GetTickCount();
    for (;;) {
        const DWORD waited = win32.MsgWaitForMultipleObjects(parent != nullptr ? 1 : 0, parent != nullptr ? &parent : nullptr,
                                                       FALSE, 1000, QS_ALLINPUT);
        if (parent != nullptr && waited == WAIT_OBJECT_0) {
            return;
        }
        MSG message;
        while (win32.PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return;
            }
            win32.DispatchMessageW(&message);
        }
        if (win32.GetTickCount() - start >= kLifetimeMs) {
            return;
        }
    }
}

}  // namespace

int RunSmokeClient(const std::wstring& recordPath, DWORD parentId)
{
    const KFile file(win32.CreateFileW(recordPath.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return kSmokeClientFailed;
    }
    RecordFile = file.get();
    const KHandle parent(win32.OpenProcess(SYNCHRONIZE, FALSE, parentId));
    if (!MakeWindows()) {
        return kSmokeClientFailed;
    }
    // Started by the process in front (or allowed by it), this process may
    // set the foreground window.
    for (DWORD attempt = 0; attempt < kForegroundTries && win32.GetForegroundWindow() != Frame; ++attempt) {
        win32.SetForegroundWindow(Frame);
        win32.Sleep(kForegroundPauseMs);
    }
    win32.SetFocus(Capture);
    if (!WriteReady()) {
        win32.DestroyWindow(Frame);
        return kSmokeClientFailed;
    }
    RunMessageLoop(parent.get());
    if (win32.IsWindow(Frame)) {
        win32.DestroyWindow(Frame);
    }
    return 0;
}
