// The fault sweep of the agent: its forwarding of Win+L and of Ctrl+Alt+Del
// into each client of the table in front, and its local path for both
// actions (lock, Ctrl+Alt+Del; the latter through the service that takes
// the request, one that refuses it, and without the policy that lets
// services), from the entry on; every Windows call and every allocation of
// it fails once. The windows (hidden ones of this process), the process and
// path calls and the registry (inside a sandbox) are real; the foreground,
// the client's executable, the console user, the input desktop, the clock,
// the service manager and what reaches other programs (posted and
// synthesised keys, the lock) are substituted.
#include "agent/client_table.h"
#include "agent/hotkey_actions.h"
#include "common/lock_policy_path.h"
#include "common/software_sas.h"
#include "tests/agent/agent_test_support.h"
#include "tests/support/allocation_failure.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/narrow_text.h"
#include "tests/support/process_figures.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"
#include "tests/support/fake_console_account.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

// How the machine answers a local Ctrl+Alt+Del: the policy
// "SoftwareSASGeneration" (-1: none) and the service TarnwickSvc.
struct SasSetting {
    long long softwareSas = -1;
    ActionLog::Service service = ActionLog::Service::NotInstalled;
};

// One press with `foreground` in front, reported as the executable `exe`;
// the console user found through the session's token, or without it.
SweepCase AgentCase(const std::string& name, HWND foreground, const std::wstring& exe, const std::wstring& hotkey,
                    SasSetting sas = {}, bool sessionToken = true)
{
    return {name, [=](SweepRun& run) {
        // Real are the windows and the process of this program, the
        // registry (in the sandbox) and the SID strings; every other call is
        // substituted below, and one that is not fails the run.
        KStrictWin32Override api(&Win32Api::GetWindowThreadProcessId, &Win32Api::OpenProcess, &Win32Api::CloseHandle,
                                &Win32Api::GetLongPathNameW, &Win32Api::PathFindFileNameW,
                                &Win32Api::EnumChildWindows, &Win32Api::GetClassNameW, &Win32Api::GetWindowTextW,
                                &Win32Api::RegOpenKeyExW, &Win32Api::RegQueryValueExW, &Win32Api::RegEnumValueW,
                                &Win32Api::RegCreateKeyExW,
                                &Win32Api::RegSetValueExW, &Win32Api::RegFlushKey, &Win32Api::RegCloseKey,
                                &Win32Api::ConvertSidToStringSidW, &Win32Api::LocalFree);
        ActionLog log;
        log.service = sas.service;
        if (sas.softwareSas >= 0) {
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration,
                                      static_cast<DWORD>(sas.softwareSas));
        } else {
            RegistrySandbox::DeleteValue(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration);
        }
        SweepConsoleUser consoleUser(sessionToken);
        FakeDesktop desktop({L"Default", L"Winlogon"});
        PretendForegroundClient(foreground, exe);
        const std::wstring commandLine = L"\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\" " + hotkey;
        win32.GetCommandLineW = [commandLine]() { return const_cast<LPWSTR>(commandLine.c_str()); };
        const std::wstring policyKey = consoleUser.PolicyKeyPath();
        RegistrySandbox::DeleteValue(HKEY_USERS, policyKey, kDisableLockWorkstation);
        const DWORD handlesBefore = CountProcessHandles(GetCurrentProcessId());

        int exitCode = -1;
        run.Counted([&] { exitCode = RunAgent(); });

        if (!run.Escaped() && exitCode != 0) {
            run.Problem("exit code " + std::to_string(exitCode));
        }
        const DWORD handlesAfter = CountProcessHandles(GetCurrentProcessId());
        if (handlesAfter != handlesBefore) {
            run.Problem(std::to_string(handlesAfter) + " handles after the run, " + std::to_string(handlesBefore) +
                        " before");
        }
        if (desktop.opened != desktop.closed) {
            run.Problem(std::to_string(desktop.opened) + " input desktops opened, " +
                        std::to_string(desktop.closed) + " closed");
        }
        if (consoleUser.Unreleased() != 0) {
            run.Problem(std::to_string(consoleUser.Unreleased()) +
                        " terminal-services buffer(s) or SID string(s) not freed");
        }
        if (log.ServiceHandlesOpen() != 0) {
            run.Problem(std::to_string(log.ServiceHandlesOpen()) + " service-manager handle(s) not closed");
        }
        // On every path that wrote 0, the last write is 1, and so is the value.
        std::vector<std::string> writes;
        for (const std::string& entry : log.entries) {
            if (entry.rfind("policy ", 0) == 0) {
                writes.push_back(entry);
            }
        }
        if (std::find(writes.begin(), writes.end(), "policy 0") != writes.end()) {
            DWORD type = 0;
            std::vector<BYTE> data;
            DWORD value = 0xFFFFFFFF;
            if (RegistrySandbox::GetValue(HKEY_USERS, policyKey, kDisableLockWorkstation, type, data) &&
                data.size() == sizeof(value)) {
                std::memcpy(&value, data.data(), sizeof(value));
            }
            if (writes.back() != "policy 1" || value != 1) {
                run.Problem("0 was written and the lock policy is left at " +
                            (value == 0xFFFFFFFF ? std::string("no value") : std::to_string(value)) +
                            " (last write: " + writes.back() + ")");
            }
            // A local Ctrl+Alt+Del is made one way: taken by the service, or
            // the six keys.
            if (hotkey == L"ctrl+alt+del") {
                const bool taken = sas.service == ActionLog::Service::Takes &&
                                   std::find(log.entries.begin(), log.entries.end(), "service control 128") !=
                                       log.entries.end();
                const auto keys = std::count_if(log.entries.begin(), log.entries.end(),
                                                [](const std::string& entry) { return entry.rfind("key ", 0) == 0; });
                if (keys != (taken ? 0 : 6)) {
                    run.Problem(std::to_string(keys) + " key event(s) for a Ctrl+Alt+Del that the service " +
                                (taken ? "took" : "did not take"));
                }
            }
        }
    }};
}

TEST(FaultSweep, AgentForwardingAndLocalActions)
{
    RegistrySandbox sandbox;
    ASSERT_NE(CountProcessHandles(GetCurrentProcessId()), 0u) << "the handles of this process cannot be counted";
    // The local path reads "BlockLocal" of both hotkeys; 0 blocks nothing.
    for (const wchar_t* hotkey : {L"RWin+L", L"ctrl+alt+del"}) {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(hotkey), L"BlockLocal", 0);
    }

    // For every client of the table a frame in front with the client's
    // windows below a decoy, so that the walk looks past other windows.
    std::vector<std::unique_ptr<TestWindows>> trees;
    std::vector<SweepCase> cases;
    for (std::size_t i = 0; i < kRemoteClientRowCount; ++i) {
        const RemoteClientRow& row = kRemoteClientRows[i];
        std::vector<TestWindowSpec> plan = {{0, L"SweepFrame", L"", "frame"},
                                            {1, L"SweepDecoy", L"decoy", "decoy"},
                                            {2, row.targetClassName != nullptr ? row.targetClassName : L"SweepPane",
                                             row.targetWindowText != nullptr ? row.targetWindowText : L"", "target"}};
        if (row.commandClassName != nullptr) {
            plan.push_back({1, row.commandClassName, L"", "command"});
        }
        trees.push_back(std::make_unique<TestWindows>(plan));
        const std::string exe = Narrow(row.executableName);
        for (const wchar_t* hotkey : {L"LWin+L", L"ctrl+alt+del"}) {
            cases.push_back(AgentCase(Narrow(hotkey) + " forwarded into " + exe, trees.back()->Top(),
                                      row.executableName, hotkey));
        }
    }
    // No client in front: the local lock and the local Ctrl+Alt+Del.
    trees.push_back(std::make_unique<TestWindows>(std::vector<TestWindowSpec>{{0, L"SweepFrame", L"", "frame"}}));
    cases.push_back(AgentCase("RWin+L locking locally", trees.back()->Top(), L"notepad.exe", L"RWin+L"));
    cases.push_back(AgentCase("ctrl+alt+del sent locally", trees.back()->Top(), L"notepad.exe", L"ctrl+alt+del"));
    cases.push_back(AgentCase("RWin+L locking locally, the user found by the qualified name (no session token)",
                              trees.back()->Top(), L"notepad.exe", L"RWin+L", {}, false));
    cases.push_back(AgentCase("ctrl+alt+del through the service", trees.back()->Top(), L"notepad.exe",
                              L"ctrl+alt+del", {1, ActionLog::Service::Takes}));
    cases.push_back(AgentCase("ctrl+alt+del refused by the service", trees.back()->Top(), L"notepad.exe",
                              L"ctrl+alt+del", {1, ActionLog::Service::Refuses}));

    const SweepFigures figures = RunFaultSweep("agent forwarding and local actions", cases);
    EXPECT_GT(figures.points, 0u);
}

}  // namespace
