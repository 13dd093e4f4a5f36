#include "agent/key_forwarding.h"
#include "tests/agent/agent_test_support.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAreArray;
using Log = std::vector<std::string>;

// The substituted layout maps a key to the scan code vk + 0x80:
// LWin 5B->DB, RWin 5C->DC, L 4C->CC, Ctrl 11->91, Alt 12->92, End 23->A3,
// Insert 2D->AD, Delete 2E->AE, F1 70->F0.
//
// Every test runs in strict mode: posts, synthesised input, the layout and
// the clock are the ActionLog's, and no other call reaches Windows unless
// the test names it.

namespace {

// Strict mode in which finding the client reads the test's own hidden
// windows, and the file of the pretended client's process, for real.
class StrictWithRealWindows : public KStrictWin32Override {
public:
    StrictWithRealWindows()
        : KStrictWin32Override(&Win32Api::GetWindowThreadProcessId, &Win32Api::OpenProcess, &Win32Api::CloseHandle,
                              &Win32Api::GetLongPathNameW, &Win32Api::PathFindFileNameW, &Win32Api::EnumChildWindows,
                              &Win32Api::GetWindowTextW, &Win32Api::GetClassNameW)
    {
    }
};

}  // namespace

TEST(PostKeyMessage, BuildsTheKeystrokeLParamFromTheScanCodeAndTheLowestFlagBit)
{
    KStrictWin32Override api;
    struct Case {
        UINT message;
        BYTE vk;
        unsigned extended;
        const char* entry;
    } const cases[] = {
        {WM_KEYDOWN, 0x5B, 1, "post w WM_KEYDOWN 5B 01DB0001"},
        {WM_KEYUP, 0x5B, 1, "post w WM_KEYUP 5B C1DB0001"},
        {WM_KEYDOWN, 0x4C, 0, "post w WM_KEYDOWN 4C 00CC0001"},
        {WM_KEYUP, 0x4C, 0, "post w WM_KEYUP 4C C0CC0001"},
        {WM_KEYDOWN, VK_MENU, 1, "post w WM_KEYDOWN 12 01920001"},  // no context code for Alt
        {WM_KEYDOWN, 0x4C, 2, "post w WM_KEYDOWN 4C 00CC0001"},     // flag 2: not extended
        {WM_KEYUP, 0x4C, 3, "post w WM_KEYUP 4C C1CC0001"},
    };
    for (const Case& c : cases) {
        ActionLog log;
        log.Name(reinterpret_cast<HWND>(0x1234), "w");
        PostKeyMessage(reinterpret_cast<HWND>(0x1234), c.message, c.vk, c.extended);
        EXPECT_THAT(log.entries, ElementsAreArray(Log{c.entry}));
    }
}

TEST(PostKeyMessage, AKeyWithoutAScanCodeIsSentWithScanCodeZero)
{
    KStrictWin32Override api;
    ActionLog log;
    win32.MapVirtualKeyW = [](UINT, UINT) -> UINT { return 0; };
    PostKeyMessage(nullptr, WM_KEYUP, 0x5C, 1);
    EXPECT_THAT(log.entries, ElementsAreArray(Log{"post null WM_KEYUP 5C C1000001"}));
}

TEST(SendLocalCtrlAltDel, SixKeyEventsWithoutPausesOrExtendedFlag)
{
    KStrictWin32Override api;
    ActionLog log;
    SendLocalCtrlAltDel();
    EXPECT_THAT(log.entries,
                ElementsAreArray(Log{"key 11 91 0", "key 12 92 0", "key 2E AE 0", "key 2E AE 2", "key 12 92 2",
                                     "key 11 91 2"}));
}

namespace {

const HWND kTarget = reinterpret_cast<HWND>(0x7000);
const HWND kCommand = reinterpret_cast<HWND>(0x7100);

// One pass of Win+L for LWin and RWin.
Log PassLWin(bool pauseAfterRelease, DWORD pauseAfterL)
{
    Log log = {"post target WM_KEYDOWN 5B 01DB0001", "post target WM_KEYDOWN 4C 00CC0001",
               "sleep " + std::to_string(pauseAfterL), "post target WM_KEYUP 4C C0CC0001",
               "post target WM_KEYUP 5B C1DB0001"};
    if (pauseAfterRelease) {
        log.push_back("sleep 100");
    }
    return log;
}

const Log kTwoPassesLWin = [] {
    Log log = PassLWin(true, 100);
    const Log second = PassLWin(true, 100);
    log.insert(log.end(), second.begin(), second.end());
    return log;
}();

const Log kTwoPassesRWin = {
    "post target WM_KEYDOWN 5C 01DC0001", "post target WM_KEYDOWN 4C 00CC0001", "sleep 100",
    "post target WM_KEYUP 4C C0CC0001",   "post target WM_KEYUP 5C C1DC0001",   "sleep 100",
    "post target WM_KEYDOWN 5C 01DC0001", "post target WM_KEYDOWN 4C 00CC0001", "sleep 100",
    "post target WM_KEYUP 4C C0CC0001",   "post target WM_KEYUP 5C C1DC0001",   "sleep 100",
};

const Log kOnceRWin = {"post target WM_KEYDOWN 5C 01DC0001", "post target WM_KEYDOWN 4C 00CC0001", "sleep 50",
                       "post target WM_KEYUP 4C C0CC0001", "post target WM_KEYUP 5C C1DC0001"};

}  // namespace

TEST(ForwardWinL, EachKindGetsItsSequenceIntoTheTargetWindow)
{
    KStrictWin32Override api;
    struct Case {
        std::uint32_t kind;
        BYTE windowsKey;
        bool result;
        Log expected;
    } const cases[] = {
        {Wfica32, 0x5B, true, kTwoPassesLWin},
        {Wfica32, 0x5C, true, kTwoPassesRWin},
        {CdViewer, 0x5B, true, kTwoPassesLWin},
        {CdViewer, 0x5C, true, kTwoPassesRWin},
        {Mstsc, 0x5C, true, kOnceRWin},
        {Mstsc, 0x5B, true, PassLWin(false, 50)},
        {Wswc, 0x5C, true, kOnceRWin},
        {VmwareView, 0x5C, true, kOnceRWin},
        {VmwareView, 0x5B, true, PassLWin(false, 50)},
        {Qorvane, 0x5B, true, {}},
        {0, 0x5B, false, {}},
        {7, 0x5B, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " key " + std::to_string(c.windowsKey));
        ActionLog log;
        log.Name(kTarget, "target");
        log.Name(kCommand, "command");
        const RemoteClientMatch match = {static_cast<RemoteClientKind>(c.kind), kTarget, kCommand};
        EXPECT_EQ(ForwardWinL(c.windowsKey, match), c.result);
        EXPECT_THAT(log.entries, ElementsAreArray(c.expected));
    }
}

// Every client of the table, a new one included, is handled: true with
// nothing sent.
TEST(ForwardWinL, NothingIsSentWithoutATargetWindow)
{
    KStrictWin32Override api;
    for (size_t row = 0; row < kRemoteClientRowCount; ++row) {
        const RemoteClientKind kind = kRemoteClientRows[row].kind;
        ActionLog log;
        const RemoteClientMatch match = {kind, nullptr, kCommand};
        EXPECT_TRUE(ForwardWinL(0x5B, match)) << "kind " << kind;
        EXPECT_TRUE(log.entries.empty()) << "kind " << kind;
    }
}

namespace {

// A client window tree with every window any row looks for.
std::vector<TestWindowSpec> FullTree()
{
    return {
        {0, L"TestFrame", L"Client", "frame"},
        {1, L"WswcDesktopMenubar", L"", "menubar"},
        {1, L"TestPane", L"", "pane"},
        {2, L"CtxICADisp", L"", "ctx"},
        {2, L"IHWindowClass", L"", "ih"},
        {2, L"TestPane", L"Input Capture Window", "capture"},
        {2, L"TestPane", L"QorvaneSession", "session"},
    };
}

}  // namespace

TEST(ForwardCtrlAltDel, EachClientGetsItsFormOfTheSecureAttentionKeys)
{
    StrictWithRealWindows api;
    struct Case {
        const wchar_t* exe;
        std::vector<TestWindowSpec> tree;
        Log expected;
    } const cases[] = {
        {L"wfica32.exe", FullTree(),
         {"key 2E AE 2", "key 12 92 2", "key 11 91 2", "key 11 91 0", "key 70 F0 0", "key 70 F0 2", "key 11 91 2"}},
        {L"CDViewer.exe", FullTree(),
         {"post ctx WM_KEYDOWN 11 01910001", "post ctx WM_KEYDOWN 12 01920001", "post ctx WM_KEYDOWN 2E 01AE0001",
          "post ctx WM_KEYUP 2E C1AE0001", "post ctx WM_KEYUP 12 C1920001", "post ctx WM_KEYUP 11 C1910001"}},
        {L"mstsc.exe", FullTree(),
         {"key 12 92 0", "key 11 91 0", "key 23 A3 1", "key 23 A3 3", "key 11 91 2", "key 12 92 2"}},
        {L"qorvane.exe", FullTree(), {"key 23 A3 1", "sleep 1000", "key 23 A3 3"}},
        {L"wswc.exe", FullTree(), {"key 2D AD 0", "sleep 50", "key 2D AD 2", "post menubar WM_COMMAND 1C 00000000"}},
        // The command goes to the top-level window, not to the IHWindowClass one.
        {L"vmware-view.exe", FullTree(),
         {"key 2D AD 0", "sleep 50", "key 2D AD 2", "post frame WM_COMMAND 1C7 00000000"}},
        // Without the windows: the synthesised keys still go out, posts go
        // to no window, and the press still counts as handled.
        {L"mstsc.exe", {{0, L"TestFrame", L"Client", "frame"}},
         {"key 12 92 0", "key 11 91 0", "key 23 A3 1", "key 23 A3 3", "key 11 91 2", "key 12 92 2"}},
        {L"CDViewer.exe", {{0, L"TestFrame", L"Client", "frame"}},
         {"post null WM_KEYDOWN 11 01910001", "post null WM_KEYDOWN 12 01920001", "post null WM_KEYDOWN 2E 01AE0001",
          "post null WM_KEYUP 2E C1AE0001", "post null WM_KEYUP 12 C1920001", "post null WM_KEYUP 11 C1910001"}},
        {L"wswc.exe", {{0, L"TestFrame", L"Client", "frame"}},
         {"key 2D AD 0", "sleep 50", "key 2D AD 2", "post null WM_COMMAND 1C 00000000"}},
        {L"vmware-view.exe", {{0, L"TestFrame", L"Client", "frame"}},
         {"key 2D AD 0", "sleep 50", "key 2D AD 2", "post frame WM_COMMAND 1C7 00000000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.exe, c.exe + wcslen(c.exe)) + " with " + std::to_string(c.tree.size()) +
                     " windows");
        TestWindows windows(c.tree);
        ActionLog log;
        windows.NameAll(log);
        PretendForegroundClient(windows.Top(), c.exe);
        EXPECT_TRUE(ForwardCtrlAltDel());
        EXPECT_THAT(log.entries, ElementsAreArray(c.expected));
    }
}

TEST(ForwardCtrlAltDel, QorvaneHoldsEndForASecond)
{
    StrictWithRealWindows api;
    TestWindows windows(FullTree());
    ActionLog log;
    PretendForegroundClient(windows.Top(), L"qorvane.exe");
    ASSERT_TRUE(ForwardCtrlAltDel());
    EXPECT_EQ(log.clock, 1000u);
}

TEST(ForwardCtrlAltDel, NoKnownClientInFrontSendsNothing)
{
    // A program that no row knows is looked for among the clients added by
    // policy, in the registry of the sandbox, where there are none.
    RegistrySandbox sandbox;
    StrictWithRealWindows api;
    api.UseReal(&Win32Api::RegOpenKeyExW, &Win32Api::RegEnumValueW, &Win32Api::RegQueryValueExW,
                &Win32Api::RegCloseKey);
    TestWindows windows(FullTree());
    ActionLog log;
    PretendForegroundClient(windows.Top(), L"notepad.exe");
    EXPECT_FALSE(ForwardCtrlAltDel());
    win32.GetForegroundWindow = []() -> HWND { return nullptr; };
    EXPECT_FALSE(ForwardCtrlAltDel());
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(log.clock, 0u);
}
