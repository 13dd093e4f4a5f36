#include "tests/agent/agent_test_support.h"

#include "common/lock_policy.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <set>

namespace {

std::string Hex(unsigned long long value, int width)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%0*llX", width, value);
    return text;
}

std::string MessageName(UINT message)
{
    switch (message) {
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    case WM_KEYUP:
        return "WM_KEYUP";
    case WM_COMMAND:
        return "WM_COMMAND";
    default:
        return "message-" + Hex(message, 4);
    }
}

}  // namespace

ActionLog::ActionLog()
{
    substitutes_.Replace(&Win32Api::PostMessageW, [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        entries.push_back("post " + WindowName(window) + " " + MessageName(message) + " " + Hex(wParam, 1) + " " +
                          Hex(static_cast<DWORD>(lParam), 8));
        if ((static_cast<unsigned long long>(lParam) >> 32) != 0) {
            ADD_FAILURE() << "lParam beyond 32 bits";
        }
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::keybd_event, [this](BYTE vk, BYTE scan, DWORD flags, ULONG_PTR extra) {
        entries.push_back("key " + Hex(vk, 2) + " " + Hex(scan, 2) + " " + Hex(flags, 1));
        EXPECT_EQ(extra, 0u);
    });
    substitutes_.Replace(&Win32Api::Sleep, [this](DWORD ms) {
        clock += ms;
        entries.push_back("sleep " + std::to_string(ms));
    });
    substitutes_.Replace(&Win32Api::MapVirtualKeyW, [](UINT code, UINT type) -> UINT {
        EXPECT_EQ(type, 0u) << "mapping type MAPVK_VK_TO_VSC";
        return 0xE000u | ((code + 0x80u) & 0xFFu);
    });
    substitutes_.Replace(&Win32Api::LockWorkStation, [this]() {
        entries.push_back("lock");
        return lockResult;
    });
    const auto previousSetValue = win32.RegSetValueExW;
    substitutes_.Replace(&Win32Api::RegSetValueExW,
                         [this, previousSetValue](HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                                  const BYTE* data, DWORD size) -> LONG {
        // Compared without a container: a test may count the allocations.
        if (name != nullptr && std::wcscmp(name, kDisableLockWorkstation) == 0 && type == REG_DWORD &&
            size == sizeof(DWORD)) {
            DWORD value = 0;
            std::memcpy(&value, data, sizeof(value));
            entries.push_back("policy " + std::to_string(value));
            if (value == 0 && failPolicyWriteOfZero) {
                return ERROR_ACCESS_DENIED;
            }
        }
        return previousSetValue(key, name, reserved, type, data, size);
    });

    // TarnwickSvc in the service manager in memory; its controls join the log.
    serviceManager_.managerAccess = {SC_MANAGER_CONNECT};
    serviceManager_.onCall = [this](const std::string& call) {
        const std::string control = "control ";
        if (call.compare(0, control.size(), control) == 0) {
            entries.push_back("service " + call.substr(0, call.rfind(' ')));
        }
    };
    const auto openManager = win32.OpenSCManagerW;
    substitutes_.Replace(&Win32Api::OpenSCManagerW, [this, openManager](LPCWSTR machine, LPCWSTR database,
                                                                        DWORD access) {
        ApplyServiceChoice();
        return openManager(machine, database, access);
    });
    const auto openService = win32.OpenServiceW;
    substitutes_.Replace(&Win32Api::OpenServiceW, [openService](SC_HANDLE manager, LPCWSTR name, DWORD access) {
        EXPECT_STREQ(name, L"TarnwickSvc");
        EXPECT_EQ(access, static_cast<DWORD>(SERVICE_USER_DEFINED_CONTROL)) << "no more than the control needs";
        return openService(manager, name, access);
    });
    names_[nullptr] = "null";
}

void ActionLog::ApplyServiceChoice()
{
    serviceManager_.managerOpens = managerOpens;
    serviceManager_.services.clear();
    if (service != Service::NotInstalled) {
        FakeService& svc = serviceManager_.services[L"TarnwickSvc"];
        svc.controlError = service == Service::Takes ? 0 : ERROR_INVALID_SERVICE_CONTROL;
    }
}

std::string ActionLog::WindowName(HWND window) const
{
    const auto found = names_.find(window);
    if (found != names_.end()) {
        return found->second;
    }
    return "window-" + Hex(reinterpret_cast<ULONG_PTR>(window), 1);
}

TestWindows::TestWindows(const std::vector<TestWindowSpec>& plan)
{
    // Class names are registered once per process (the system compares
    // them without regard to case).
    static std::set<std::wstring> registered;
    std::vector<HWND> lastAtLevel;
    for (const TestWindowSpec& planned : plan) {
        std::wstring folded = planned.className;
        for (wchar_t& c : folded) {
            c = static_cast<wchar_t>(towlower(c));
        }
        if (registered.insert(folded).second) {
            WNDCLASSW windowClass = {};
            windowClass.lpfnWndProc = DefWindowProcW;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = planned.className;
            EXPECT_NE(RegisterClassW(&windowClass), 0) << "class registration";
        }
        const HWND parent = planned.level == 0 ? nullptr : lastAtLevel.at(static_cast<size_t>(planned.level - 1));
        const HWND window =
            CreateWindowExW(0, planned.className, planned.text, planned.level == 0 ? WS_OVERLAPPED : WS_CHILD, 0, 0, 100,
                            100, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(window, nullptr) << "window " << planned.name;
        windows_.push_back(window);
        names_.push_back(planned.name);
        lastAtLevel.resize(static_cast<size_t>(planned.level + 1));
        lastAtLevel[static_cast<size_t>(planned.level)] = window;
    }
}

TestWindows::~TestWindows()
{
    for (size_t i = 0; i < windows_.size(); ++i) {
        if (windows_[i] != nullptr && GetParent(windows_[i]) == nullptr) {
            DestroyWindow(windows_[i]);
        }
    }
}

HWND TestWindows::operator[](const std::string& name) const
{
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == name) {
            return windows_[i];
        }
    }
    return nullptr;
}

void TestWindows::NameAll(ActionLog& log) const
{
    for (size_t i = 0; i < windows_.size(); ++i) {
        log.Name(windows_[i], names_[i]);
    }
}

std::wstring ClientScratchDir()
{
    static const std::wstring dir = MakeScratchDir(L"clients");
    return dir;
}

std::wstring MakeEmptyFile(const std::wstring& name)
{
    const std::wstring path = ClientScratchDir() + L"\\" + name;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    return path;
}

std::wstring PretendForegroundClient(HWND foreground, const std::wstring& exeName)
{
    const std::wstring path = MakeEmptyFile(exeName);
    win32.GetForegroundWindow = [foreground]() { return foreground; };
    win32.QueryFullProcessImageNameW = [path](HANDLE, DWORD flags, LPWSTR buffer, PDWORD size) -> BOOL {
        EXPECT_EQ(flags, 0u) << "the Win32 form of the path";
        EXPECT_EQ(*size, 520u);
        if (path.size() >= *size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        wmemcpy(buffer, path.c_str(), path.size() + 1);
        *size = static_cast<DWORD>(path.size());
        return TRUE;
    };
    return path;
}
