#include "tools/watch_rules.h"

#include <gtest/gtest.h>

namespace {

FrontFacts Client(RemoteClientKind kind, bool keyWindow, bool commandWindow)
{
    FrontFacts front;
    front.window = true;
    front.fileName = L"whatever.exe";
    front.client = true;
    front.kind = kind;
    front.keyWindow = keyWindow;
    front.commandWindow = commandWindow;
    return front;
}

const Blocking kOpen{false, false};
const Blocking kBlockLocal{true, true};
const Blocking kPolicy{true, false};

// The agent's order: a client in front takes the press whatever blocks the
// local action; without one, blocking comes before the console user.
TEST(WatchOutcome, FollowsTheAgentsOrder)
{
    struct Case {
        FrontFacts front;
        Blocking blocking;
        bool user;
        PressOutcome winL;
        PressOutcome ctrlAltDel;
    } const cases[] = {
        {Client(Mstsc, true, true), kBlockLocal, false, PressOutcome::Forward, PressOutcome::Forward},
        {Client(Mstsc, false, false), kOpen, true, PressOutcome::NothingNoKeyWindow, PressOutcome::Forward},
        {Client(Wfica32, false, false), kOpen, true, PressOutcome::NothingNoKeyWindow, PressOutcome::Forward},
        {Client(CdViewer, false, false), kOpen, true, PressOutcome::NothingNoKeyWindow,
         PressOutcome::NothingNoKeyWindow},
        {Client(Wswc, true, false), kOpen, true, PressOutcome::Forward, PressOutcome::NothingNoCommandWindow},
        {Client(VmwareView, false, true), kOpen, true, PressOutcome::NothingNoKeyWindow, PressOutcome::Forward},
        {Client(Qorvane, true, true), kOpen, true, PressOutcome::NothingClientTakesNone, PressOutcome::Forward},
        {FrontFacts{}, kBlockLocal, true, PressOutcome::BlockedByBlockLocal, PressOutcome::BlockedByBlockLocal},
        {FrontFacts{}, kPolicy, false, PressOutcome::BlockedByPolicy, PressOutcome::BlockedByPolicy},
        {FrontFacts{}, kOpen, false, PressOutcome::NothingNoUser, PressOutcome::NothingNoUser},
        {FrontFacts{}, kOpen, true, PressOutcome::Local, PressOutcome::Local},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PredictWinL(c.front, c.blocking, c.user), c.winL) << static_cast<int>(c.front.kind);
        EXPECT_EQ(PredictCtrlAltDel(c.front, c.blocking, c.user), c.ctrlAltDel) << static_cast<int>(c.front.kind);
    }
}

TEST(FormatWatchLine, NamesTheProgramTheClientAndWhatEachPressWouldDo)
{
    WatchFacts facts;
    facts.front = Client(Mstsc, true, true);
    facts.front.fileName = L"MSTSC.EXE";
    facts.userAtConsole = true;
    EXPECT_EQ(FormatWatchLine(facts),
              L"MSTSC.EXE: client Microsoft Remote Desktop (mstsc.exe), key window found, command window found; "
              L"Win+L: forward into mstsc.exe; Ctrl+Alt+Del: forward into mstsc.exe");

    facts.front = Client(Mstsc, true, false);
    facts.front.fileName = L"msrdc.exe";
    facts.front.policyName = L"MSRDC.exe";
    facts.front.policyLike = L"mstsc.exe";
    EXPECT_EQ(FormatWatchLine(facts),
              L"msrdc.exe: client MSRDC.exe (policy: like mstsc.exe), key window found, command window not found; "
              L"Win+L: forward into MSRDC.exe; Ctrl+Alt+Del: forward into MSRDC.exe");

    facts.front = Client(Wswc, false, false);
    facts.front.fileName = L"wswc.exe";
    EXPECT_EQ(FormatWatchLine(facts),
              L"wswc.exe: client VMware (wswc.exe), key window not found, command window not found; Win+L: "
              L"nothing, the client's key window was not found; Ctrl+Alt+Del: nothing, the client's command window "
              L"was not found");

    facts.front = FrontFacts{};
    facts.lwin = kBlockLocal;
    facts.rwin = kBlockLocal;
    facts.ctrlAltDel = kPolicy;
    EXPECT_EQ(FormatWatchLine(facts),
              L"no window in front: no remote-desktop client; Win+L: blocked by \"BlockLocal\"; Ctrl+Alt+Del: "
              L"blocked by the Keyboard Filter policy");

    facts.front.window = true;
    facts.front.fileName = L"notepad.exe";
    facts.rwin = kOpen;
    facts.ctrlAltDel = kOpen;
    EXPECT_EQ(FormatWatchLine(facts),
              L"notepad.exe: no remote-desktop client; LWin+L: blocked by \"BlockLocal\", RWin+L: lock the "
              L"workstation; Ctrl+Alt+Del: send Ctrl+Alt+Del locally");

    facts.front.fileName.clear();
    facts.userAtConsole = false;
    facts.lwin = kOpen;
    EXPECT_EQ(FormatWatchLine(facts),
              L"a window of a program that cannot be read: no remote-desktop client; Win+L: nothing, no user is at "
              L"the console; Ctrl+Alt+Del: nothing, no user is at the console");
}

TEST(FormatWatchLine, EveryClientOfTheTableHasItsName)
{
    for (std::size_t i = 0; i < kRemoteClientRowCount; ++i) {
        const std::wstring name = DescribeClient(kRemoteClientRows[i].kind);
        EXPECT_NE(name.find(std::wstring(L" (") + kRemoteClientRows[i].executableName + L")"), std::wstring::npos)
            << i;
    }
}

}  // namespace
