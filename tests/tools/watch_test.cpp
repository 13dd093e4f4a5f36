// TarnwickCtl watch in this process: its loop on a virtual clock, its lines
// with the settings inside a RegistrySandbox, and what it says a press would
// do against what the agent's own HandleHotkey then does, for every client
// of the table and every local case.
#include "agent/client_table.h"
#include "agent/hotkey_actions.h"
#include "tests/agent/agent_test_support.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"
#include "tests/tools/ctl_run.h"
#include "tools/watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

CtlCommand WatchFor(std::uint32_t seconds)
{
    CtlCommand command;
    command.action = CtlAction::Watch;
    command.watchLimited = true;
    command.watchSeconds = seconds;
    return command;
}

void BlockLocal(const wchar_t* hotkey)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(hotkey), L"BlockLocal", 1);
}

TEST(CtlWatch, PrintsALineAtTheStartAndAtEveryChangeOfTheForegroundAndEndsOnTime)
{
    RegistrySandbox sandbox;
    TestWindows first({{0, L"WatchFirst", L"first", "first"}});
    TestWindows second({{0, L"WatchSecond", L"second", "second"}});
    KWin32Override api;
    DWORD clock = 0;
    int sleeps = 0;
    win32.GetTickCount = [&] { return clock; };
    win32.Sleep = [&](DWORD ms) {
        EXPECT_EQ(ms, 100u);
        clock += ms;
        ++sleeps;
    };
    // 0.5 s the first window, 0.5 s the second, then none.
    win32.GetForegroundWindow = [&]() -> HWND {
        return sleeps < 5 ? first.Top() : sleeps < 10 ? second.Top() : nullptr;
    };

    KCollectedOutput output;
    EXPECT_EQ(RunWatchVerb(WatchFor(2), output), 0);
    EXPECT_EQ(clock, 2000u);
    const std::vector<std::wstring> lines = Lines(output.out);
    ASSERT_EQ(lines.size(), 3u) << Narrow(output.out);
    // "hh:mm:ss " and then the program in front: this test program.
    EXPECT_TRUE(Contains(lines[0],
                         L" ctl_test.exe: no remote-desktop client; Win+L: lock the workstation; "
                         L"Ctrl+Alt+Del: send Ctrl+Alt+Del locally"))
        << Narrow(lines[0]);
    EXPECT_EQ(lines[1].substr(8), lines[0].substr(8));
    EXPECT_TRUE(Contains(lines[2], L" no window in front: ")) << Narrow(lines[2]);
    EXPECT_EQ(output.err, L"");

    // Without --seconds it goes on until a stop is requested.
    clock = 0;
    sleeps = 0;
    win32.Sleep = [&](DWORD ms) {
        clock += ms;
        if (++sleeps == 50) {
            EXPECT_TRUE(RequestWatchStop());
        }
    };
    CtlCommand endless;
    endless.action = CtlAction::Watch;
    EXPECT_EQ(RunWatchVerb(endless, output), 0);
    EXPECT_EQ(sleeps, 50);
    EXPECT_FALSE(RequestWatchStop()) << "no watch runs any more";
}

TEST(CtlWatch, WithBlockLocalAndNothingInFrontTheLineSaysBlocked)
{
    RegistrySandbox sandbox;
    KWin32Override api;
    win32.GetForegroundWindow = []() -> HWND { return nullptr; };
    for (const wchar_t* hotkey : {L"LWin+L", L"RWin+L", L"ctrl+alt+del"}) {
        BlockLocal(hotkey);
    }
    KCollectedOutput output;
    EXPECT_EQ(RunWatchVerb(WatchFor(0), output), 0);
    EXPECT_TRUE(Contains(output.out,
                         L" no window in front: no remote-desktop client; Win+L: blocked by "
                         L"\"BlockLocal\"; Ctrl+Alt+Del: blocked by \"BlockLocal\"\n"))
        << Narrow(output.out);
}

// What the agent did, without its pauses and its lock-policy writes.
std::vector<std::string> Deliveries(const ActionLog& log)
{
    std::vector<std::string> deliveries;
    for (const std::string& entry : log.entries) {
        if (entry.compare(0, 6, "sleep ") != 0 && entry.compare(0, 7, "policy ") != 0) {
            deliveries.push_back(entry);
        }
    }
    return deliveries;
}

bool PostsToNoWindow(const std::vector<std::string>& deliveries)
{
    for (const std::string& entry : deliveries) {
        if (entry.compare(0, 10, "post null ") == 0) {
            return true;
        }
    }
    return false;
}

// The agent's HandleHotkey for `hotkey` in the situation set up so far.
std::vector<std::string> AgentDeliveries(const wchar_t* hotkey, const std::vector<const TestWindows*>& windows)
{
    ActionLog log;
    for (const TestWindows* tree : windows) {
        tree->NameAll(log);
    }
    HandleHotkey(hotkey);
    return Deliveries(log);
}

// With each client of the table in front, with its whole window tree and
// with none of its windows: what watch says a press does is what the agent
// does. "Forward" delivers something and nothing to a missing window;
// "nothing" delivers nothing, or only to a window that is not there.
TEST(CtlWatch, WhatItSaysOfAClientInFrontIsWhatTheAgentDoes)
{
    RegistrySandbox sandbox;
    for (const wchar_t* hotkey : {L"LWin+L", L"RWin+L", L"ctrl+alt+del"}) {
        BlockLocal(hotkey);  // a client in front takes the press all the same
    }
    for (std::size_t i = 0; i < kRemoteClientRowCount; ++i) {
        const RemoteClientRow& row = kRemoteClientRows[i];
        SCOPED_TRACE(Narrow(row.executableName));
        for (const bool whole : {true, false}) {
            SCOPED_TRACE(whole ? "whole window tree" : "no window but the top one");
            std::vector<TestWindowSpec> plan = {{0, L"WatchFrame", L"frame", "frame"}};
            if (whole) {
                plan.push_back({1, L"WatchPane", L"", "pane"});
                plan.push_back({2, row.targetClassName != nullptr ? row.targetClassName : L"WatchText",
                                row.targetWindowText != nullptr ? row.targetWindowText : L"", "target"});
                if (row.commandClassName != nullptr) {
                    plan.push_back({1, row.commandClassName, L"", "command"});
                }
            }
            const TestWindows windows(plan);
            KWin32Override api;
            PretendForegroundClient(windows.Top(), row.executableName);
            const WatchFacts facts = ObserveForeground(win32.GetForegroundWindow());
            ASSERT_TRUE(facts.front.client);
            EXPECT_EQ(facts.front.kind, row.kind);
            EXPECT_EQ(facts.front.keyWindow, whole);

            const PressOutcome winL = PredictWinL(facts.front, facts.lwin, facts.userAtConsole);
            const std::vector<std::string> winLDone = AgentDeliveries(L"LWin+L", {&windows});
            if (winL == PressOutcome::Forward) {
                ASSERT_FALSE(winLDone.empty());
                EXPECT_EQ(winLDone.front().compare(0, 12, "post target "), 0) << winLDone.front();
            } else {
                EXPECT_TRUE(winL == PressOutcome::NothingNoKeyWindow || winL == PressOutcome::NothingClientTakesNone);
                EXPECT_EQ(winLDone, std::vector<std::string>());
            }

            const PressOutcome ctrlAltDel = PredictCtrlAltDel(facts.front, facts.ctrlAltDel, facts.userAtConsole);
            const std::vector<std::string> ctrlAltDelDone = AgentDeliveries(L"ctrl+alt+del", {&windows});
            if (ctrlAltDel == PressOutcome::Forward) {
                EXPECT_FALSE(ctrlAltDelDone.empty());
                EXPECT_FALSE(PostsToNoWindow(ctrlAltDelDone));
            } else {
                EXPECT_TRUE(ctrlAltDel == PressOutcome::NothingNoKeyWindow ||
                            ctrlAltDel == PressOutcome::NothingNoCommandWindow);
                EXPECT_TRUE(PostsToNoWindow(ctrlAltDelDone));
            }
        }
    }
}

// Nothing in front: blocked, no user, or the local action, as the agent.
TEST(CtlWatch, WhatItSaysOfTheLocalActionIsWhatTheAgentDoes)
{
    struct Case {
        const char* label;
        bool blockLocal;
        bool policy;
        bool user;
        PressOutcome outcome;
    } const cases[] = {
        {"BlockLocal", true, false, true, PressOutcome::BlockedByBlockLocal},
        {"Keyboard Filter policy", false, true, true, PressOutcome::BlockedByPolicy},
        {"both", true, true, true, PressOutcome::BlockedByBlockLocal},
        {"no user at the console", false, false, false, PressOutcome::NothingNoUser},
        {"the local action", false, false, true, PressOutcome::Local},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RegistrySandbox sandbox;
        for (const wchar_t* hotkey : {L"LWin+L", L"ctrl+alt+del"}) {
            if (c.blockLocal) {
                BlockLocal(hotkey);
            }
        }
        if (c.policy) {
            for (const wchar_t* value : {L"Win+L", L"ctrl+alt+del"}) {
                RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\KeyboardFilter", value,
                                          1);
            }
        }
        KWin32Override api;
        win32.GetForegroundWindow = []() -> HWND { return nullptr; };
        if (!c.user) {
            win32.WTSGetActiveConsoleSessionId = [] { return 0xFFFFFFFFul; };
        }
        const WatchFacts facts = ObserveForeground(win32.GetForegroundWindow());
        EXPECT_EQ(PredictWinL(facts.front, facts.lwin, facts.userAtConsole), c.outcome);
        EXPECT_EQ(PredictCtrlAltDel(facts.front, facts.ctrlAltDel, facts.userAtConsole), c.outcome);

        const std::vector<std::string> winL = AgentDeliveries(L"LWin+L", {});
        const std::vector<std::string> ctrlAltDel = AgentDeliveries(L"ctrl+alt+del", {});
        if (c.outcome == PressOutcome::Local) {
            EXPECT_EQ(winL, std::vector<std::string>{"lock"});
            ASSERT_FALSE(ctrlAltDel.empty());
            EXPECT_EQ(ctrlAltDel.front().compare(0, 4, "key "), 0) << ctrlAltDel.front();
        } else {
            EXPECT_EQ(winL, std::vector<std::string>());
            EXPECT_EQ(ctrlAltDel, std::vector<std::string>());
        }
    }
}

}  // namespace

// windows reads windows and nothing else: in strict mode, with only the
// reading calls real, it waits on the clock it is given, and finds the
// windows each built-in client's rule would take.
TEST(CtlWindows, WaitsThenReadsTheTreeAndTouchesNothing)
{
    TestWindows windows({{0, L"TestFrame", L"Session", "frame"},
                         {1, L"TestPane", L"", "pane"},
                         {2, L"IHWindowClass", L"Input Capture Window", "capture"}});
    KStrictWin32Override api(&Win32Api::GetWindowThreadProcessId, &Win32Api::OpenProcess, &Win32Api::CloseHandle,
                            &Win32Api::PathFindFileNameW, &Win32Api::EnumChildWindows, &Win32Api::GetClassNameW,
                            &Win32Api::GetWindowTextW, &Win32Api::GetAncestor);
    PretendForegroundClient(windows.Top(), L"msrdc.exe");
    std::vector<DWORD> sleeps;
    win32.Sleep = [&](DWORD ms) { sleeps.push_back(ms); };

    const CtlRun run = RunCtlHere({L"windows", L"--wait", L"3"});

    EXPECT_EQ(run.exitCode, 0) << Narrow(run.err);
    EXPECT_EQ(sleeps, std::vector<DWORD>{3000});
    const std::vector<std::wstring> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 12u) << Narrow(run.out);
    EXPECT_EQ(lines[1], L"program in front: msrdc.exe");
    EXPECT_EQ(lines[3], L"  #0 0 \"TestFrame\" \"Session\"");
    EXPECT_EQ(lines[4], L"  #1   1 \"TestPane\" \"\"");
    EXPECT_EQ(lines[5], L"  #2     2 \"IHWindowClass\" \"Input Capture Window\"");
    EXPECT_TRUE(Contains(run.out, L"  like=vmware-view.exe: key window #2 (class \"IHWindowClass\", text \"Input "
                                  L"Capture Window\"), command window #0 (class \"TestFrame\", text \"Session\")\n"))
        << Narrow(run.out);
    EXPECT_TRUE(Contains(run.out, L"  like=wfica32.exe: key window none, command window none\n")) << Narrow(run.out);
}
