// fake_client: stands in for a remote-desktop client in tests. It builds a
// window tree, takes the foreground and the keyboard focus, and records every
// keystroke message and WM_COMMAND that any of its windows receives.
//
// Command line (options in any order):
//   --log PATH        record file (UTF-8), created anew; one line per record,
//                     written as it happens:
//                       <tick ms> <window index> <message> <wParam> <lParam>
//                     e.g. "52310 2 WM_KEYDOWN 0x5B 0x015B0001"; <message> is
//                     WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP or
//                     WM_COMMAND; the tick is GetTickCount64(); the index is
//                     the window's place in creation order (0 = top level).
//   --ready PATH      written once the windows exist and the top-level window
//                     has the foreground: one line per window
//                       window <index> <hwnd hex> <level> <class>|<text>
//                     then the line "ready". It appears complete at once
//                     (written elsewhere, then renamed).
//   --tree NAME       a ready-made tree (see below); may be combined with
//                     further --window options, which are added after it.
//   --window L:CLASS:TEXT
//                     adds a window at level L (0 = a top-level window; L > 0
//                     = a child of the last window added at level L-1) with
//                     that class name and text (the text may be empty and may
//                     contain ':'). The first window must be at level 0.
//   --focus INDEX     the window that gets the keyboard focus (default 0).
//   --lifetime SECS   exits after this many seconds (default 120); it also
//                     exits when its top-level window is closed.
//   --stamp NAME      for timing: NAME is a file mapping of 8 bytes and
//                     NAME".key" an event, both made by the caller. At a
//                     WM_KEYDOWN or WM_SYSKEYDOWN while the 8 bytes hold 0,
//                     the client stores QueryPerformanceCounter there and
//                     sets the event; the caller clears the 8 bytes again.
//
// Ready-made trees, by the client table's executable names:
//   wfica32, CDViewer   frame > pane > "CtxICADisp"
//   vmware-view         frame > pane > "IHWindowClass"
//   wswc                frame > "WswcDesktopMenubar", frame > pane > "IHWindowClass"
//   mstsc               frame > pane > text "Input Capture Window"
//   qorvane             frame > text "QorvaneSession"
//   plain               frame alone
// where frame is class "FakeClientFrame" (text "Fake client") and pane is
// class "FakeClientPane".
//
// Example: fake_client.exe --tree mstsc --log Z:\tmp\keys.txt --ready Z:\tmp\ready.txt
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

struct WindowSpec {
    int level;
    std::wstring className;
    std::wstring text;
};

std::vector<HWND> Windows;
HANDLE LogFile = INVALID_HANDLE_VALUE;
// --stamp: the caller's slot for the time of the first key-down, and its event.
volatile LONGLONG* StampSlot = nullptr;
HANDLE StampEvent = nullptr;

void StampKeyDown(UINT message)
{
    if (StampSlot == nullptr || (message != WM_KEYDOWN && message != WM_SYSKEYDOWN)) {
        return;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (InterlockedCompareExchange64(StampSlot, now.QuadPart, 0) == 0) {
        SetEvent(StampEvent);
    }
}

bool OpenStamp(const std::wstring& name)
{
    const HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    StampEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L".key").c_str());
    if (mapping == nullptr || StampEvent == nullptr) {
        return false;
    }
    StampSlot = static_cast<volatile LONGLONG*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LONGLONG)));
    return StampSlot != nullptr;  // mapping and event stay open for the client's life
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

int WindowIndex(HWND window)
{
    for (size_t i = 0; i < Windows.size(); ++i) {
        if (Windows[i] == window) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const char* MessageName(UINT message)
{
    switch (message) {
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    case WM_KEYUP:
        return "WM_KEYUP";
    case WM_SYSKEYDOWN:
        return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP:
        return "WM_SYSKEYUP";
    case WM_COMMAND:
        return "WM_COMMAND";
    default:
        return nullptr;
    }
}

void Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    char line[160];
    const int length = std::snprintf(line, sizeof(line), "%llu %d %s 0x%llX 0x%08lX\r\n",
                                     static_cast<unsigned long long>(GetTickCount64()), WindowIndex(window),
                                     MessageName(message), static_cast<unsigned long long>(wParam),
                                     static_cast<unsigned long>(static_cast<DWORD>(lParam)));
    DWORD written = 0;
    WriteFile(LogFile, line, static_cast<DWORD>(length), &written, nullptr);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (MessageName(message) != nullptr) {
        StampKeyDown(message);
        Record(window, message, wParam, lParam);
        return 0;  // no menu mode on Alt, no system commands
    }
    if (message == WM_DESTROY && !Windows.empty() && window == Windows[0]) {
        PostQuitMessage(0);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void AddTree(const std::wstring& name, std::vector<WindowSpec>& plan)
{
    plan.push_back({0, L"FakeClientFrame", L"Fake client"});
    if (name == L"wfica32" || name == L"CDViewer") {
        plan.push_back({1, L"FakeClientPane", L""});
        plan.push_back({2, L"CtxICADisp", L""});
    } else if (name == L"vmware-view") {
        plan.push_back({1, L"FakeClientPane", L""});
        plan.push_back({2, L"IHWindowClass", L""});
    } else if (name == L"wswc") {
        plan.push_back({1, L"WswcDesktopMenubar", L""});
        plan.push_back({1, L"FakeClientPane", L""});
        plan.push_back({2, L"IHWindowClass", L""});
    } else if (name == L"mstsc") {
        plan.push_back({1, L"FakeClientPane", L""});
        plan.push_back({2, L"FakeClientPane", L"Input Capture Window"});
    } else if (name == L"qorvane") {
        plan.push_back({1, L"FakeClientPane", L"QorvaneSession"});
    }
}

bool ParseWindow(const std::wstring& value, std::vector<WindowSpec>& plan)
{
    const size_t first = value.find(L':');
    const size_t second = first == std::wstring::npos ? first : value.find(L':', first + 1);
    if (second == std::wstring::npos) {
        return false;
    }
    plan.push_back({_wtoi(value.substr(0, first).c_str()), value.substr(first + 1, second - first - 1),
                     value.substr(second + 1)});
    return true;
}

bool BuildWindows(HINSTANCE instance, const std::vector<WindowSpec>& plan)
{
    std::set<std::wstring> registered;
    std::vector<HWND> lastAtLevel;
    for (const WindowSpec& planned : plan) {
        if (registered.insert(planned.className).second) {
            WNDCLASSW windowClass = {};
            windowClass.lpfnWndProc = WindowProc;
            windowClass.hInstance = instance;
            windowClass.lpszClassName = planned.className.c_str();
            if (!RegisterClassW(&windowClass)) {
                return false;
            }
        }
        if (planned.level < 0 || static_cast<size_t>(planned.level) > lastAtLevel.size() ||
            (planned.level > 0 && lastAtLevel[planned.level - 1] == nullptr)) {
            return false;
        }
        const HWND parent = planned.level == 0 ? nullptr : lastAtLevel[planned.level - 1];
        const DWORD style = planned.level == 0 ? (WS_POPUP | WS_VISIBLE) : (WS_CHILD | WS_VISIBLE);
        const HWND window = CreateWindowExW(0, planned.className.c_str(), planned.text.c_str(), style, 0, 0, 400, 300,
                                            parent, nullptr, instance, nullptr);
        if (window == nullptr) {
            return false;
        }
        Windows.push_back(window);
        lastAtLevel.resize(planned.level + 1);
        lastAtLevel[planned.level] = window;
    }
    return !Windows.empty();
}

bool WriteReadyFile(const std::wstring& path, const std::vector<WindowSpec>& plan)
{
    std::string text;
    for (size_t i = 0; i < Windows.size(); ++i) {
        char head[96];
        std::snprintf(head, sizeof(head), "window %d %llX %d ", static_cast<int>(i),
                      static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(Windows[i])), plan[i].level);
        text += head + Utf8(plan[i].className) + "|" + Utf8(plan[i].text) + "\r\n";
    }
    text += "ready\r\n";
    const std::wstring temporary = path + L".tmp";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring logPath;
    std::wstring readyPath;
    std::wstring stampName;
    std::vector<WindowSpec> plan;
    size_t focus = 0;
    UINT lifetimeSeconds = 120;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        const std::wstring value = argv[i + 1];
        if (option == L"--log") {
            logPath = value;
        } else if (option == L"--ready") {
            readyPath = value;
        } else if (option == L"--tree") {
            AddTree(value, plan);
        } else if (option == L"--window") {
            if (!ParseWindow(value, plan)) {
                return 2;
            }
        } else if (option == L"--focus") {
            focus = static_cast<size_t>(_wtoi(value.c_str()));
        } else if (option == L"--stamp") {
            stampName = value;
        } else if (option == L"--lifetime") {
            lifetimeSeconds = static_cast<UINT>(_wtoi(value.c_str()));
        } else {
            return 2;
        }
    }
    LocalFree(argv);
    if (logPath.empty() || readyPath.empty()) {
        return 2;
    }
    if (!stampName.empty() && !OpenStamp(stampName)) {
        return 3;
    }
    LogFile = CreateFileW(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, CREATE_ALWAYS, 0, nullptr);
    if (LogFile == INVALID_HANDLE_VALUE || !BuildWindows(instance, plan) || focus >= Windows.size()) {
        return 3;
    }
    for (int attempt = 0; attempt < 50 && GetForegroundWindow() != Windows[0]; ++attempt) {
        SetForegroundWindow(Windows[0]);
        Sleep(20);
    }
    SetFocus(Windows[focus]);
    if (GetForegroundWindow() != Windows[0] || !WriteReadyFile(readyPath, plan)) {
        return 4;
    }
    SetTimer(nullptr, 0, lifetimeSeconds * 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            break;
        }
        DispatchMessageW(&message);
    }
    CloseHandle(LogFile);
    return 0;
}
