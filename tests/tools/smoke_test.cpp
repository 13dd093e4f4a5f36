// TarnwickSmoke's run in this process, on a virtual clock: the service
// manager, the hotkeys' events, the start of the client and the foreground
// are substituted; the hotkeys are real values in a registry sandbox; the
// client's windows are hidden windows of this process, found by the agent's
// own detection; the copy of the program, its record file and its folder are
// real files in the temporary folder. The strict mode makes every other
// Windows call fail the test, so that nothing is synthesised or locked.
#include "tests/agent/agent_test_support.h"
#include "tests/support/fake_service_manager.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"
#include "tools/smoke/smoke.h"
#include "tools/smoke/smoke_rules.h"
#include "tests/support/text_contains.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr DWORD kKeyDelayMs = 300;  // from a press until its keys arrive

std::wstring AgentRun()
{
    return L"\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\"";
}

KeyRecord Key(std::uint32_t message, BYTE virtualKey, bool extended)
{
    const bool release = message == kWmKeyUp || message == kWmSysKeyUp;
    KeyRecord key;
    key.atCaptureWindow = true;
    key.message = message;
    key.wParam = virtualKey;
    key.lParam = 1u | ((MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC) & 0xFF) << 16) | (extended ? 0x01000000u : 0u) |
                 (release ? 0xC0000000u : 0u);
    return key;
}

// What the agent delivers into Microsoft Remote Desktop.
std::vector<KeyRecord> WinLKeys()
{
    return {Key(kWmKeyDown, kVkLWin, true), Key(kWmKeyDown, kVkL, false), Key(kWmKeyUp, kVkL, false),
            Key(kWmKeyUp, kVkLWin, true)};
}

std::vector<KeyRecord> CtrlAltEndKeys()
{
    return {Key(kWmSysKeyDown, kVkMenu, false), Key(kWmSysKeyDown, kVkControl, false),
            Key(kWmSysKeyDown, kVkEnd, true),     Key(kWmSysKeyUp, kVkEnd, true),
            Key(kWmSysKeyUp, kVkControl, false),  Key(kWmKeyUp, kVkMenu, false)};
}

void AppendToFile(const std::wstring& path, const std::string& text)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    CloseHandle(file);
}

// Everything around a run. The knobs are set before Run(); what happened
// is read afterwards.
class SmokeRig {
public:
    SmokeRig()
        : api_(&Win32Api::RegOpenKeyExW, &Win32Api::RegQueryValueExW, &Win32Api::RegCloseKey,
               &Win32Api::GetTempPathW, &Win32Api::CreateDirectoryW, &Win32Api::RemoveDirectoryW,
               &Win32Api::CopyFileW, &Win32Api::DeleteFileW, &Win32Api::CreateFileW, &Win32Api::ReadFile,
               &Win32Api::CloseHandle, &Win32Api::GetModuleFileNameW, &Win32Api::GetCurrentProcessId,
               &Win32Api::WaitForSingleObject, &Win32Api::LocalFree, &Win32Api::MapVirtualKeyW,
               &Win32Api::GetWindowThreadProcessId, &Win32Api::OpenProcess, &Win32Api::GetLongPathNameW,
               &Win32Api::PathFindFileNameW, &Win32Api::EnumChildWindows, &Win32Api::GetWindowTextW,
               &Win32Api::GetClassNameW),
          client_({{0, L"SmokeTestFrame", L"stand-in", "frame"},
                   {1, L"SmokeTestCapture", L"Input Capture Window", "capture"}}),
          other_({{0, L"SmokeTestOther", L"other program", "other"}})
    {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(kSmokeLockHotkey), L"run", AgentRun());
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(kSmokeSasHotkey), L"run", AgentRun());
        front = other_.Top();
        keysFor[kSmokeLockHotkey] = WinLKeys();
        keysFor[kSmokeSasHotkey] = CtrlAltEndKeys();
        PretendForegroundClient(client_.Top(), L"mstsc.exe");
        Substitute();
    }
    ~SmokeRig()
    {
        for (const auto& event : events_) {
            CloseHandle(event.first);
        }
        if (processEnded_ != nullptr) {
            CloseHandle(processEnded_);
        }
    }

    int Run()
    {
        services_.services[L"TarnwickSvcTest"].replies = {{serviceState, 0}};
        KCollectedOutput output;
        const int exitCode = RunSmoke(L"TarnwickSvcTest", output);
        out = output.out;
        return exitCode;
    }

    HWND Frame() const { return client_.Top(); }
    HWND Other() const { return other_.Top(); }

    // Knobs.
    DWORD serviceState = SERVICE_RUNNING;
    bool takesForeground = true;  // a SetForegroundWindow of the frame works
    std::map<std::wstring, std::vector<KeyRecord>> keysFor;  // by hotkey, arriving kKeyDelayMs after its press
    std::function<void()> afterDetection;                  // after the agent's detection ran
    std::function<void(const std::wstring&)> afterPress;   // after a hotkey's event was set
    HWND front = nullptr;                                  // the foreground window

    // What happened.
    std::wstring out;
    std::vector<std::wstring> pressed;  // hotkeys whose event was set, in order
    std::vector<DWORD> pressedAt;       // the virtual time of each
    bool clientStarted = false;
    bool clientClosed = false;          // WM_CLOSE to the frame, or TerminateProcess
    std::wstring folder;                // of the client's copy
    DWORD clock = 0;

private:
    void Substitute()
    {
        services_.managerAccess = {SC_MANAGER_CONNECT};

        win32.OpenEventW = [this](DWORD access, BOOL, LPCWSTR name) -> HANDLE {
            EXPECT_EQ(access, static_cast<DWORD>(EVENT_MODIFY_STATE));
            const std::wstring prefix = L"Global\\ZQKBFiltr";
            const std::wstring full = name;
            const std::wstring hotkey = full.substr(0, prefix.size()) == prefix ? full.substr(prefix.size()) : L"";
            if (hotkey != kSmokeLockHotkey && hotkey != kSmokeSasHotkey) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return nullptr;
            }
            const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            events_[event] = hotkey;
            return event;
        };
        win32.SetEvent = [this](HANDLE event) -> BOOL {
            const std::wstring hotkey = events_.at(event);
            pressed.push_back(hotkey);
            pressedAt.push_back(clock);
            EXPECT_TRUE(front == Frame()) << "pressed with another window in front";
            due_.push_back({clock + kKeyDelayMs, keysFor[hotkey]});
            if (afterPress) {
                afterPress(hotkey);
            }
            return TRUE;
        };

        win32.CreateProcessW = [this](LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                                      LPSECURITY_ATTRIBUTES, BOOL inherit, DWORD flags, LPVOID, LPCWSTR,
                                      LPSTARTUPINFOW, LPPROCESS_INFORMATION started) -> BOOL {
            EXPECT_FALSE(inherit);
            EXPECT_EQ(flags, static_cast<DWORD>(CREATE_NO_WINDOW));
            const std::wstring exe = application;
            EXPECT_EQ(exe.substr(exe.size() - 10), L"\\mstsc.exe");
            EXPECT_NE(GetFileAttributesW(application), INVALID_FILE_ATTRIBUTES) << "the copy exists";
            folder = exe.substr(0, exe.size() - 10);
            // "<exe>" --client "<record>" <parent id>
            const std::wstring line = commandLine;
            const std::wstring marker = L" --client \"";
            const size_t start = line.find(marker);
            EXPECT_NE(start, std::wstring::npos) << Narrow(line);
            if (start == std::wstring::npos) {
                return FALSE;
            }
            const size_t end = line.find(L'"', start + marker.size());
            record_ = line.substr(start + marker.size(), end - start - marker.size());
            EXPECT_EQ(line.substr(end + 1), L" " + std::to_wstring(GetCurrentProcessId()));
            clientStarted = true;
            AppendToFile(record_, FormatReadyLine(reinterpret_cast<std::uintptr_t>(client_.Top()),
                                            reinterpret_cast<std::uintptr_t>(client_["capture"])));
            processEnded_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            started->hProcess = processEnded_;
            started->hThread = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            started->dwProcessId = GetCurrentProcessId();  // the windows are this process's
            started->dwThreadId = 0;
            return TRUE;
        };
        win32.AllowSetForegroundWindow = [](DWORD) { return TRUE; };
        win32.SetForegroundWindow = [this](HWND window) -> BOOL {
            EXPECT_EQ(window, Frame());
            if (takesForeground) {
                front = window;
            }
            return takesForeground ? TRUE : FALSE;
        };
        win32.GetForegroundWindow = [this]() { return front; };
        const auto enumerate = win32.EnumChildWindows;
        win32.EnumChildWindows = [this, enumerate](HWND parent, WNDENUMPROC callback, LPARAM list) -> BOOL {
            const BOOL result = enumerate(parent, callback, list);
            if (afterDetection) {
                afterDetection();
            }
            return result;
        };
        win32.PostMessageW = [this](HWND window, UINT message, WPARAM, LPARAM) -> BOOL {
            EXPECT_EQ(window, Frame());
            EXPECT_EQ(message, static_cast<UINT>(WM_CLOSE));
            clientClosed = true;
            SetEvent(processEnded_);
            return TRUE;
        };
        win32.TerminateProcess = [this](HANDLE, UINT) -> BOOL {
            clientClosed = true;
            SetEvent(processEnded_);
            return TRUE;
        };
        win32.GetTickCount = [this]() { return clock; };
        win32.Sleep = [this](DWORD ms) {
            clock += ms;
            for (auto due = due_.begin(); due != due_.end();) {
                if (due->first > clock) {
                    ++due;
                    continue;
                }
                std::string lines;
                for (const KeyRecord& key : due->second) {
                    lines += FormatRecordLine(key);
                }
                AppendToFile(record_, lines);
                due = due_.erase(due);
            }
        };
    }

    RegistrySandbox sandbox_;
    KStrictWin32Override api_;
    FakeServiceManager services_{FakeServiceManagerParts::ServicesOnly};
    TestWindows client_;
    TestWindows other_;
    std::map<HANDLE, std::wstring> events_;
    std::vector<std::pair<DWORD, std::vector<KeyRecord>>> due_;
    std::wstring record_;
    HANDLE processEnded_ = nullptr;
};

bool FolderGone(const std::wstring& folder)
{
    return !folder.empty() && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

TEST(SmokeRun, PressesBothHotkeysWithTheClientInFrontJudgesTheKeysAndRemovesTheClient)
{
    SmokeRig rig;
    EXPECT_EQ(rig.Run(), 0) << Narrow(rig.out);
    EXPECT_EQ(rig.pressed, (std::vector<std::wstring>{kSmokeLockHotkey, kSmokeSasHotkey}));
    // Ctrl+Alt+Del only after Win+L's keys had arrived and had been watched
    // for more.
    ASSERT_EQ(rig.pressedAt.size(), 2u);
    EXPECT_GE(rig.pressedAt[1] - rig.pressedAt[0], kKeyDelayMs + 500);
    for (const wchar_t* line : {L"PASS service: the service TarnwickSvcTest is running\n", L"PASS hotkey LWin+L: ",
                                L"PASS hotkey ctrl+alt+del: ", L"PASS client: ", L"PASS Win+L: ",
                                L"received WM_KEYUP VK_LWIN (0x5B)", L"PASS Ctrl+Alt+Del: ",
                                L"received WM_SYSKEYDOWN VK_END (0x23)", L"PASS clean-up: ",
                                L"RESULT: PASS (7 steps passed)\n"}) {
        EXPECT_TRUE(Contains(rig.out, line)) << Narrow(line) << "\n" << Narrow(rig.out);
    }
    EXPECT_TRUE(rig.clientClosed);
    EXPECT_TRUE(FolderGone(rig.folder)) << Narrow(rig.folder);
}

// Whatever fails before the client is up, nothing is started or pressed.
TEST(SmokeRun, StartsAndPressesNothingWhenTheServiceOrAHotkeyIsNotAsItMustBe)
{
    struct Case {
        const char* what;
        std::function<void(SmokeRig&)> arrange;
        const wchar_t* failure;
    } const cases[] = {
        {"service stopped", [](SmokeRig& rig) { rig.serviceState = SERVICE_STOPPED; },
         L"FAIL service: the service TarnwickSvcTest is stopped"},
        {"Win+L runs another program",
         [](SmokeRig&) {
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(kSmokeLockHotkey), L"run",
                                        L"\"C:\\Tools\\probe.exe\"");
         },
         L"FAIL hotkey LWin+L: the hotkey \"LWin+L\" runs C:\\Tools\\probe.exe, not the agent"},
        {"Ctrl+Alt+Del blocked",
         [](SmokeRig&) { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(kSmokeSasHotkey), L"Block", 1); },
         L"FAIL hotkey ctrl+alt+del: the hotkey \"ctrl+alt+del\" has \"Block\" = 1"},
        {"Ctrl+Alt+Del not configured",
         [](SmokeRig&) { RegistrySandbox::DeleteValue(HKEY_LOCAL_MACHINE, HotkeySubkey(kSmokeSasHotkey), L"run"); },
         L"FAIL hotkey ctrl+alt+del: the service cannot use the hotkey"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SmokeRig rig;
        c.arrange(rig);
        EXPECT_EQ(rig.Run(), 1);
        EXPECT_TRUE(Contains(rig.out, c.failure)) << Narrow(rig.out);
        EXPECT_TRUE(Contains(rig.out, L"SKIP client: nothing was started or pressed, as a step above failed\n"
                                 L"SKIP Win+L: nothing was started or pressed, as a step above failed\n"
                                 L"SKIP Ctrl+Alt+Del: nothing was started or pressed, as a step above failed\n"
                                 L"RESULT: FAIL (1 failed, 3 not run, 2 passed)\n"))
            << Narrow(rig.out);
        EXPECT_FALSE(rig.clientStarted);
        EXPECT_TRUE(rig.pressed.empty());
    }
}

// A press with anything but the client in front would lock the PC or act
// on it: such a press is not made, and the client is removed all the same.
TEST(SmokeRun, PressesNothingWhileAnotherWindowIsInFront)
{
    struct Case {
        const char* what;
        std::function<void(SmokeRig&)> arrange;
        std::vector<std::wstring> pressed;
        std::vector<const wchar_t*> lines;
    } const cases[] = {
        {"the client never comes to the front",
         [](SmokeRig& rig) { rig.takesForeground = false; },
         {},
         {L"did not come to the front by itself: click into it; waiting up to 60 s\n",
          L"FAIL client: the client's window is not in front: a window of ",
          L"SKIP Win+L: not pressed, as the client is not in front\n"}},
        {"another window comes to the front before Win+L",
         [](SmokeRig& rig) { rig.afterDetection = [&rig] { rig.front = rig.Other(); }; },
         {},
         {L"PASS client: ", L"FAIL Win+L: not pressed: a window of ",
          L"is in front instead of the client, and a press would lock this PC\n",
          L"is in front instead of the client, and a press would act on this PC\n"}},
        {"another window comes to the front after Win+L",
         [](SmokeRig& rig) {
             rig.afterPress = [&rig](const std::wstring&) { rig.front = rig.Other(); };
         },
         {kSmokeLockHotkey},
         {L"PASS Win+L: ", L"FAIL Ctrl+Alt+Del: not pressed: a window of ",
          L"is in front instead of the client, and a press would act on this PC\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SmokeRig rig;
        c.arrange(rig);
        EXPECT_EQ(rig.Run(), 1);
        EXPECT_EQ(rig.pressed, c.pressed);
        for (const wchar_t* line : c.lines) {
            EXPECT_TRUE(Contains(rig.out, line)) << Narrow(line) << "\n" << Narrow(rig.out);
        }
        EXPECT_TRUE(Contains(rig.out, L"PASS clean-up: ")) << Narrow(rig.out);
        EXPECT_TRUE(rig.clientClosed);
        EXPECT_TRUE(FolderGone(rig.folder)) << Narrow(rig.folder);
    }
}

TEST(SmokeRun, KeysThatDoNotArriveOrDifferFailTheirStepWithWhatArrived)
{
    std::vector<KeyRecord> twice = WinLKeys();
    twice.insert(twice.end(), twice.begin(), twice.end());
    std::vector<KeyRecord> endNotExtended = CtrlAltEndKeys();
    endNotExtended[2] = Key(kWmSysKeyDown, kVkEnd, false);
    struct Case {
        const char* what;
        const wchar_t* hotkey;
        std::vector<KeyRecord> keys;
        std::vector<const wchar_t*> lines;
    } const cases[] = {
        {"nothing arrives", kSmokeLockHotkey, {},
         {L"FAIL Win+L: after 15 s: 0 keys of the four of Win+L arrived (`TarnwickCtl check`",
          L"     the client received no key\nPASS Ctrl+Alt+Del: "}},
        {"Win+L posted twice", kSmokeLockHotkey, twice,
         {L"FAIL Win+L: more than the four keys of Win+L arrived: key 5 is WM_KEYDOWN VK_LWIN (0x5B)",
          L"     received WM_KEYUP VK_LWIN (0x5B)"}},
        {"End not extended", kSmokeSasHotkey, endNotExtended,
         {L"PASS Win+L: ", L"FAIL Ctrl+Alt+Del: key 3 should be a press of VK_END (0x23)",
          L"the extended flag (bit 24) is missing\n     received WM_SYSKEYDOWN VK_MENU (0x12)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SmokeRig rig;
        rig.keysFor[c.hotkey] = c.keys;
        EXPECT_EQ(rig.Run(), 1);
        for (const wchar_t* line : c.lines) {
            EXPECT_TRUE(Contains(rig.out, line)) << Narrow(line) << "\n" << Narrow(rig.out);
        }
        EXPECT_EQ(rig.pressed, (std::vector<std::wstring>{kSmokeLockHotkey, kSmokeSasHotkey}));
        EXPECT_TRUE(Contains(rig.out, L"RESULT: FAIL (1 failed, 0 not run, 6 passed)\n")) << Narrow(rig.out);
    }
}

}  // namespace
