// The real TarnwickAgent.exe and the detection code against fake
// remote-desktop clients that hold the foreground. These tests use the
// foreground window, synthesised input and the console user's real
// "DisableLockWorkstation" value of the Wine prefix.
#include "agent/client_detection.h"
#include "common/lock_policy.h"
#include "tests/agent/fake_client_session.h"
#include "tests/support/machine_registry.h"
#include "tests/support/narrow_text.h"
#include "tests/support/test_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using ::testing::ElementsAreArray;
using Lines = std::vector<std::string>;

namespace {

// A record as text. Posted keystrokes show their whole lParam; synthesised
// ones (whose lParam Wine makes) show press or release, the key, the scan
// code and the extended flag, whichever of WM_KEY* or WM_SYSKEY* carried it.
std::string Describe(const ClientRecord& r, bool synthesised)
{
    char text[96];
    const std::string message = Narrow(r.message);
    if (message == "WM_COMMAND" || !synthesised) {
        std::snprintf(text, sizeof(text), "w%d %s %llX %08lX", r.window, message.c_str(), r.wParam,
                      static_cast<unsigned long>(r.lParam));
    } else {
        const bool release = (r.lParam & 0x80000000u) != 0;
        const bool releaseMessage = message == "WM_KEYUP" || message == "WM_SYSKEYUP";
        std::snprintf(text, sizeof(text), "w%d %s %llX scan %02lX%s%s", r.window, release ? "release" : "press",
                      r.wParam, static_cast<unsigned long>((r.lParam >> 16) & 0xFF),
                      (r.lParam & 0x01000000u) != 0 ? " ext" : "", release == releaseMessage ? "" : " (wrong message)");
    }
    return text;
}

struct Received {
    Lines keys;
    Lines commands;
};

// Keystrokes and commands separately: a posted command is not ordered
// against synthesised input.
Received Split(const std::vector<ClientRecord>& records, bool synthesised)
{
    Received received;
    for (const ClientRecord& r : records) {
        (r.message == L"WM_COMMAND" ? received.commands : received.keys).push_back(Describe(r, synthesised));
    }
    return received;
}

// The console user's "DisableLockWorkstation" in the real registry of the
// prefix; set to a sentinel for the test and restored afterwards.
constexpr DWORD kSentinel = 7;

RunResult RunAgent(const std::wstring& arguments)
{
    return RunProgram(L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"" + arguments, 60000);
}

}  // namespace

TEST(DetectRemoteClientAgainstFakeClients, ExecutableNamesAndWindowTrees)
{
    struct Case {
        const wchar_t* exe;
        const wchar_t* tree;
        bool detected;
        std::uint32_t kind;
        int target;   // window index, -1: null
        int command;  // window index, -1: null
    } const cases[] = {
        {L"wfica32.exe", L"--tree wfica32", true, Wfica32, 2, 2},
        {L"CDViewer.exe", L"--tree CDViewer", true, CdViewer, 2, 2},
        {L"vmware-view.exe", L"--tree vmware-view", true, VmwareView, 2, 0},
        {L"wswc.exe", L"--tree wswc", true, Wswc, 3, 1},
        {L"mstsc.exe", L"--tree mstsc", true, Mstsc, 2, 2},
        {L"qorvane.exe", L"--tree qorvane", true, Qorvane, 1, 1},
        {L"MSTSC.EXE", L"--tree mstsc", true, Mstsc, 2, 2},
        {L"mstsc.exe.old", L"--tree mstsc", false, 0, -1, -1},
        {L"mymstsc.exe", L"--tree mstsc", false, 0, -1, -1},
        // Trees that must not match, or match only their first window.
        {L"wfica32.exe", L"--window 0:CtxICADisp: --window 1:FakeClientPane:", true, Wfica32, -1, -1},
        {L"mstsc.exe", L"--window \"0:FakeClientFrame:Input Capture Window\" --window \"1:FakeClientPane:Input Capture Window!\"",
         true, Mstsc, -1, -1},
        {L"CDViewer.exe", L"--tree CDViewer --window 1:CtxICADisp:", true, CdViewer, 2, 2},
        {L"qorvane.exe", L"--tree plain --window 1:FakeClientPane:QorvaneSession --window 1:FakeClientPane:QorvaneSession",
         true, Qorvane, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.exe) + " " + Narrow(c.tree));
        FakeClientSession client(c.exe, c.tree);
        ASSERT_TRUE(client.Ready());
        RemoteClientMatch match = {static_cast<RemoteClientKind>(99), nullptr, nullptr};
        ASSERT_EQ(DetectRemoteClient(match), c.detected);
        if (c.detected) {
            EXPECT_EQ(static_cast<std::uint32_t>(match.kind), c.kind);
            EXPECT_EQ(match.targetWindow, c.target < 0 ? nullptr : client.Window(static_cast<size_t>(c.target)));
            EXPECT_EQ(match.commandWindow, c.command < 0 ? nullptr : client.Window(static_cast<size_t>(c.command)));
        }
    }
}

TEST(DetectRemoteClientAgainstFakeClients, AClientStartedThroughItsShortPath)
{
    FakeClientSession client(L"vmware-view.exe", L"--tree vmware-view", true);
    ASSERT_TRUE(client.Ready());
    ASSERT_NE(client.LaunchPath(), client.ExePath()) << "no 8.3 names in the scratch folder";
    ASSERT_NE(client.LaunchPath().find(L'~'), std::wstring::npos);
    RemoteClientMatch match = {};
    ASSERT_TRUE(DetectRemoteClient(match));
    EXPECT_EQ(match.kind, VmwareView);
    EXPECT_EQ(match.targetWindow, client.Window(2));
    EXPECT_EQ(match.commandWindow, client.Window(0));
}

namespace {

const Lines kLWinLOnce = {"w2 WM_KEYDOWN 5B 015B0001", "w2 WM_KEYDOWN 4C 00260001", "w2 WM_KEYUP 4C C0260001",
                          "w2 WM_KEYUP 5B C15B0001"};
const Lines kLWinLTwice = {"w2 WM_KEYDOWN 5B 015B0001", "w2 WM_KEYDOWN 4C 00260001", "w2 WM_KEYUP 4C C0260001",
                           "w2 WM_KEYUP 5B C15B0001",   "w2 WM_KEYDOWN 5B 015B0001", "w2 WM_KEYDOWN 4C 00260001",
                           "w2 WM_KEYUP 4C C0260001",   "w2 WM_KEYUP 5B C15B0001"};

}  // namespace

TEST(AgentEndToEnd, DeliversEachClientsKeysIntoTheFakeClient)
{
    struct Case {
        const wchar_t* exe;
        const wchar_t* tree;
        const wchar_t* hotkey;
        bool synthesised;
        Lines keys;
        Lines commands;
    } const cases[] = {
        {L"wfica32.exe", L"--tree wfica32", L"LWin+L", false, kLWinLTwice, {}},
        {L"CDViewer.exe", L"--tree CDViewer", L"LWin+L", false, kLWinLTwice, {}},
        {L"mstsc.exe", L"--tree mstsc", L"LWin+L", false, kLWinLOnce, {}},
        {L"mstsc.exe", L"--tree mstsc", L"RWin+L", false,
         {"w2 WM_KEYDOWN 5C 015C0001", "w2 WM_KEYDOWN 4C 00260001", "w2 WM_KEYUP 4C C0260001",
          "w2 WM_KEYUP 5C C15C0001"},
         {}},
        {L"vmware-view.exe", L"--tree vmware-view", L"LWin+L", false, kLWinLOnce, {}},
        {L"wswc.exe", L"--tree wswc", L"lwin+l", false,
         {"w3 WM_KEYDOWN 5B 015B0001", "w3 WM_KEYDOWN 4C 00260001", "w3 WM_KEYUP 4C C0260001",
          "w3 WM_KEYUP 5B C15B0001"},
         {}},
        {L"qorvane.exe", L"--tree qorvane", L"LWin+L", false, {}, {}},
        {L"wfica32.exe", L"--tree wfica32", L"ctrl+alt+del", true,
         {"w0 release 2E scan 53", "w0 release 12 scan 38", "w0 release 11 scan 1D", "w0 press 11 scan 1D",
          "w0 press 70 scan 3B", "w0 release 70 scan 3B", "w0 release 11 scan 1D"},
         {}},
        {L"CDViewer.exe", L"--tree CDViewer", L"ctrl+alt+del", false,
         {"w2 WM_KEYDOWN 11 011D0001", "w2 WM_KEYDOWN 12 01380001", "w2 WM_KEYDOWN 2E 01530001",
          "w2 WM_KEYUP 2E C1530001", "w2 WM_KEYUP 12 C1380001", "w2 WM_KEYUP 11 C11D0001"},
         {}},
        {L"mstsc.exe", L"--tree mstsc", L"CTRL+ALT+DEL", true,
         {"w0 press 12 scan 38", "w0 press 11 scan 1D", "w0 press 23 scan 4F ext", "w0 release 23 scan 4F ext",
          "w0 release 11 scan 1D", "w0 release 12 scan 38"},
         {}},
        {L"qorvane.exe", L"--tree qorvane", L"ctrl+alt+del", true,
         {"w0 press 23 scan 4F ext", "w0 release 23 scan 4F ext"}, {}},
        {L"wswc.exe", L"--tree wswc", L"ctrl+alt+del", true, {"w0 press 2D scan 52", "w0 release 2D scan 52"},
         {"w1 WM_COMMAND 1C 00000000"}},
        {L"vmware-view.exe", L"--tree vmware-view", L"ctrl+alt+del", true,
         {"w0 press 2D scan 52", "w0 release 2D scan 52"}, {"w0 WM_COMMAND 1C7 00000000"}},
        // Known clients without their windows: Win+L is consumed, the
        // synthesised part of Ctrl+Alt+Del still arrives, posts to no
        // window reach nothing.
        {L"mstsc.exe", L"--tree plain", L"LWin+L", false, {}, {}},
        {L"wfica32.exe", L"--tree plain", L"RWin+L", false, {}, {}},
        {L"mstsc.exe", L"--tree plain", L"ctrl+alt+del", true,
         {"w0 press 12 scan 38", "w0 press 11 scan 1D", "w0 press 23 scan 4F ext", "w0 release 23 scan 4F ext",
          "w0 release 11 scan 1D", "w0 release 12 scan 38"},
         {}},
        {L"CDViewer.exe", L"--tree plain", L"ctrl+alt+del", false, {}, {}},
    };
    ConsoleLockPolicy policy;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.exe) + " " + Narrow(c.tree) + " " + Narrow(c.hotkey));
        FakeClientSession client(c.exe, c.tree);
        ASSERT_TRUE(client.Ready());
        policy.Set(kSentinel);
        const RunResult run = RunAgent(L" " + std::wstring(c.hotkey));
        ASSERT_TRUE(run.finished) << "started " << run.started << ", error " << run.error;
        EXPECT_EQ(run.exitCode, 0u);
        const Received received = Split(client.RecordsAfterFence(), c.synthesised);
        EXPECT_THAT(received.keys, ElementsAreArray(c.keys));
        EXPECT_THAT(received.commands, ElementsAreArray(c.commands));
        EXPECT_EQ(policy.Get(), kSentinel) << "no local action";
    }
}

TEST(AgentEndToEnd, QorvaneGetsEndHeldForASecond)
{
    FakeClientSession client(L"qorvane.exe", L"--tree qorvane");
    ASSERT_TRUE(client.Ready());
    ASSERT_EQ(RunAgent(L" ctrl+alt+del").exitCode, 0u);
    const std::vector<ClientRecord> records = client.RecordsAfterFence();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_GE(records[1].tick - records[0].tick, 900u);
}

TEST(AgentEndToEnd, LocalPathLowersThePolicyAndRaisesItAgain)
{
    struct Case {
        const wchar_t* hotkey;
        Lines keys;  // what reaches the plain window in front
    } const cases[] = {
        {L"LWin+L", {}},
        {L"ctrl+alt+del",
         {"w0 press 11 scan 1D", "w0 press 12 scan 38", "w0 press 2E scan 53", "w0 release 2E scan 53",
          "w0 release 12 scan 38", "w0 release 11 scan 1D"}},
    };
    ConsoleLockPolicy policy;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.hotkey));
        FakeClientSession client(L"plain.exe", L"--tree plain");
        ASSERT_TRUE(client.Ready());
        policy.Set(kSentinel);
        // Under Wine the lock fails and the input desktop never becomes
        // "Winlogon": the agent waits out its polls with the value at 0.
        std::wstring commandLine = L"\"" + BinPath(L"TarnwickAgent.exe") + L"\" " + c.hotkey;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        EXPECT_TRUE(WaitUntil([&] { return policy.Get() == 0; }, 30000)) << "the value never went to 0";
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(exitCode, 0u);
        EXPECT_EQ(policy.Get(), 1);
        EXPECT_THAT(Split(client.RecordsAfterFence(), true).keys, ElementsAreArray(c.keys));
    }
}

TEST(AgentEndToEnd, NoHotkeyNameDoesNothing)
{
    FakeClientSession client(L"mstsc.exe", L"--tree mstsc");
    ASSERT_TRUE(client.Ready());
    ConsoleLockPolicy policy;
    policy.Set(kSentinel);
    for (const wchar_t* arguments : {L"", L" Win+L", L" \"LWin+L\"", L" LWin+L "}) {
        const RunResult run = RunAgent(arguments);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u) << Narrow(arguments);
        EXPECT_TRUE(run.output.empty());
    }
    EXPECT_TRUE(client.RecordsAfterFence().empty());
    EXPECT_EQ(policy.Get(), kSentinel);
}

// Clients added by policy, started under executable names the table does not
// know, get exactly the keys of the client they are like; an entry that is
// ignored leaves the press to the local path (here blocked by the Keyboard
// Filter policy, so that the local path shows as nothing at all).
TEST(AgentEndToEnd, ClientsAddedByPolicyGetTheKeysOfTheClientTheyAreLike)
{
    const ScratchMachineKey clients(L"SOFTWARE\\Policies\\Tarnwick\\Clients");
    clients.SetString(L"msrdc.exe", L"like=mstsc.exe");
    clients.SetString(L"horizon-client.exe", L"like=vmware-view.exe");
    clients.SetString(L"rdm.exe", L"like=mstsc.exe;class=FakeClientPane");
    clients.SetString(L"broken.exe", L"like mstsc.exe");
    clients.SetString(L"unknown.exe", L"like=notepad.exe");
    clients.SetString(L"mstsc.exe", L"like=wfica32.exe");
    const ScratchMachineKey keyboardFilter(L"SOFTWARE\\Policies\\Microsoft\\KeyboardFilter");
    keyboardFilter.SetDword(L"ctrl+alt+del", 1);
    keyboardFilter.SetDword(L"Win+L", 1);

    const Lines ctrlAltEnd = {"w0 press 12 scan 38",        "w0 press 11 scan 1D",    "w0 press 23 scan 4F ext",
                              "w0 release 23 scan 4F ext", "w0 release 11 scan 1D", "w0 release 12 scan 38"};
    struct Case {
        const wchar_t* exe;
        const wchar_t* tree;
        const wchar_t* hotkey;
        bool synthesised;
        Lines keys;
        Lines commands;
    } const cases[] = {
        {L"msrdc.exe", L"--tree mstsc", L"LWin+L", false, kLWinLOnce, {}},
        {L"MSRDC.EXE", L"--tree mstsc", L"ctrl+alt+del", true, ctrlAltEnd, {}},
        {L"horizon-client.exe", L"--tree vmware-view", L"LWin+L", false, kLWinLOnce, {}},
        {L"horizon-client.exe", L"--tree vmware-view", L"ctrl+alt+del", true,
         {"w0 press 2D scan 52", "w0 release 2D scan 52"}, {"w0 WM_COMMAND 1C7 00000000"}},
        // class=: the first pane, not the "Input Capture Window".
        {L"rdm.exe", L"--tree mstsc", L"LWin+L", false,
         {"w1 WM_KEYDOWN 5B 015B0001", "w1 WM_KEYDOWN 4C 00260001", "w1 WM_KEYUP 4C C0260001",
          "w1 WM_KEYUP 5B C15B0001"},
         {}},
        // Ignored entries: the local path, blocked.
        {L"broken.exe", L"--tree mstsc", L"ctrl+alt+del", true, {}, {}},
        {L"unknown.exe", L"--tree mstsc", L"LWin+L", false, {}, {}},
        // A built-in name keeps its own row.
        {L"mstsc.exe", L"--tree mstsc", L"ctrl+alt+del", true, ctrlAltEnd, {}},
    };
    ConsoleLockPolicy policy;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.exe) + " " + Narrow(c.hotkey));
        FakeClientSession client(c.exe, c.tree);
        ASSERT_TRUE(client.Ready());
        policy.Set(kSentinel);
        const RunResult run = RunAgent(L" " + std::wstring(c.hotkey));
        ASSERT_TRUE(run.finished) << "started " << run.started << ", error " << run.error;
        EXPECT_EQ(run.exitCode, 0u);
        const Received received = Split(client.RecordsAfterFence(), c.synthesised);
        EXPECT_THAT(received.keys, ElementsAreArray(c.keys));
        EXPECT_THAT(received.commands, ElementsAreArray(c.commands));
        EXPECT_EQ(policy.Get(), kSentinel) << "nothing written";
    }
}
