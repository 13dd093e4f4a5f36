// Test support for the agent: one ordered log of everything the agent sends
// or waits for, window trees built in the test process, and a foreground
// window that pretends to belong to a client's executable.
#pragma once

#include "common/win32_api.h"
#include "tests/support/fake_service_manager.h"

#include <map>
#include <string>
#include <vector>

// Replaces PostMessageW, keybd_event, Sleep, MapVirtualKeyW and
// LockWorkStation, and the service manager as the agent's request for the
// secure attention sequence finds it, and watches the
// "DisableLockWorkstation" writes (passing every write on to the
// RegSetValueExW it found), for as long as it lives; each call becomes one
// entry of `entries`:
//   "post <window> <message> <wParam> <lParam>"  e.g. "post target WM_KEYDOWN 5B 01DB0001"
//   "key <vk> <scan> <flags>"                     e.g. "key 2E AE 2"
//   "sleep <ms>", "lock", "policy <value>"
//   "service control <code>"                      a control sent to TarnwickSvc
// Windows are shown by the names given with Name() ("null" for none).
// The substituted key layout gives every key the scan code vk + 0x80 (low
// byte), returned with high bits set that must be masked off.
class ActionLog {
public:
    ActionLog();
    ActionLog(const ActionLog&) = delete;
    ActionLog& operator=(const ActionLog&) = delete;

    void Name(HWND window, const std::string& name) { names_[window] = name; }

    std::vector<std::string> entries;
    DWORD clock = 0;                // virtual milliseconds slept
    BOOL lockResult = FALSE;        // what LockWorkStation returns
    bool failPolicyWriteOfZero = false;

    // The service TarnwickSvc: not installed (OpenServiceW fails), or
    // installed and refusing (ControlService fails) or taking its control.
    enum class Service { NotInstalled, Refuses, Takes };
    Service service = Service::NotInstalled;
    bool managerOpens = true;
    // Service-manager handles opened and not closed; closing a manager
    // while a service opened through it is open fails the test.
    int ServiceHandlesOpen() const { return static_cast<int>(serviceManager_.OpenHandles()); }

private:
    std::string WindowName(HWND window) const;
    // The choice of `service` and `managerOpens`, given to the service
    // manager in memory when the manager is opened.
    void ApplyServiceChoice();

    // Before the substitutes: they wrap its calls, and are put back first.
    FakeServiceManager serviceManager_{FakeServiceManagerParts::ServicesOnly};
    KWin32Substitutes substitutes_;
    std::map<HWND, std::string> names_;
};

// A window tree in the test process. Windows are hidden, so they never take
// the foreground from anyone. Level 0 is the top-level window; a window at
// level L > 0 is a child of the last window added at level L - 1.
struct TestWindowSpec {
    int level;
    const wchar_t* className;
    const wchar_t* text;
    const char* name;
};

class TestWindows {
public:
    explicit TestWindows(const std::vector<TestWindowSpec>& plan);
    ~TestWindows();
    TestWindows(const TestWindows&) = delete;
    TestWindows& operator=(const TestWindows&) = delete;

    HWND Top() const { return windows_.front(); }
    HWND operator[](const std::string& name) const;  // null for an unknown name
    void NameAll(ActionLog& log) const;

private:
    std::vector<HWND> windows_;
    std::vector<std::string> names_;
};

// Makes `foreground` the foreground window (GetForegroundWindow) and reports
// the executable of its process (QueryFullProcessImageNameW) as an existing file
// named `exeName` in a scratch folder whose name holds blanks. Returns that
// path. Needs a KWin32Override alive in the caller.
std::wstring PretendForegroundClient(HWND foreground, const std::wstring& exeName);

// The scratch folder of PretendForegroundClient, and an empty file in it.
std::wstring ClientScratchDir();
std::wstring MakeEmptyFile(const std::wstring& name);
