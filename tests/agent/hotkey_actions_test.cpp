#include "agent/hotkey_actions.h"
#include "common/lock_policy.h"
#include "common/software_sas.h"
#include "tests/agent/agent_test_support.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/allocation_failure.h"
#include "tests/support/fake_console_account.h"
#include "tests/support/registry_sandbox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <new>

using ::testing::ElementsAreArray;
using Log = std::vector<std::string>;

namespace {

Log Polls(int count)
{
    return Log(static_cast<size_t>(count), "sleep 50");
}

Log Join(std::initializer_list<Log> parts)
{
    Log all;
    for (const Log& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const Log kLocalCtrlAltDel = {"key 11 91 0", "key 12 92 0", "key 2E AE 0", "key 2E AE 2", "key 12 92 2",
                              "key 11 91 2"};

// The console user's policy key in the sandboxed HKEY_USERS; worked out
// once, before any test substitutes the console user.
std::wstring PolicyKeyPath()
{
    static const std::wstring path = [] {
        std::wstring user;
        EXPECT_TRUE(GetConsoleUserName(user));
        wchar_t sid[kSidStringChars] = {};
        EXPECT_TRUE(GetAccountSidString(user.c_str(), sid));
        wchar_t key[kLockPolicyPathChars] = {};
        FormatLockPolicyKeyPath(sid, key);
        return std::wstring(key);
    }();
    return path;
}

// -1: no value.
long long PolicyValue()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_USERS, PolicyKeyPath(), kDisableLockWorkstation, type, data)) {
        return -1;
    }
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data.size(), 4u);
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof(value));
    return value;
}

class HotkeyActions : public ::testing::Test {
protected:
    void SetUp() override { PolicyKeyPath(); }

    RegistrySandbox sandbox;
    KWin32Override api;  // restores every substitute of a test
    ActionLog log;
};

}  // namespace

TEST_F(HotkeyActions, LocalActionLowersThePolicyAroundTheActionAndTheWait)
{
    struct Case {
        const char* what;
        const wchar_t* hotkey;
        std::vector<const wchar_t*> desktops;
        bool failWriteOfZero;
        Log expected;
    } const cases[] = {
        {"lock until Winlogon", L"LWin+L", {L"Default", L"Default", L"WINLOGON"}, false,
         Join({{"policy 0", "lock"}, Polls(2), {"policy 1"}})},
        {"right Windows key", L"RWin+L", {L"Winlogon"}, false, {"policy 0", "lock", "policy 1"}},
        {"name in capitals", L"LWIN+L", {L"winlogon"}, false, {"policy 0", "lock", "policy 1"}},
        {"secure attention", L"CTRL+ALT+DEL", {L"Default", L"Winlogon"}, false,
         Join({{"policy 0"}, kLocalCtrlAltDel, Polls(1), {"policy 1"}})},
        {"failed write of 0", L"LWin+L", {L"Winlogon"}, true, {"policy 0", "lock", "policy 1"}},
        {"desktop that cannot be opened", L"LWin+L", {L"Default", nullptr}, false,
         Join({{"policy 0", "lock"}, Polls(1), {"policy 1"}})},
        {"desktop that never becomes Winlogon (failed lock)", L"LWin+L", {L"Default"}, false,
         Join({{"policy 0", "lock"}, Polls(200), {"policy 1"}})},
        {"secure attention, never Winlogon", L"ctrl+alt+del", {L"Winlogon2"}, false,
         Join({{"policy 0"}, kLocalCtrlAltDel, Polls(200), {"policy 1"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox scratch;
        ActionLog caseLog;
        win32.GetForegroundWindow = []() -> HWND { return nullptr; };
        caseLog.failPolicyWriteOfZero = c.failWriteOfZero;
        FakeDesktop desktop(c.desktops);
        HandleHotkey(c.hotkey);
        EXPECT_THAT(caseLog.entries, ElementsAreArray(c.expected));
        EXPECT_EQ(PolicyValue(), 1);
        EXPECT_EQ(desktop.opened, desktop.closed);
    }
}

// The console user's account is read once, through the session, and both
// writes go to it: not to a local account of the same bare name.
TEST_F(HotkeyActions, TheLocalActionWritesForTheSessionsAccountReadOnce)
{
    const std::wstring domainAnna = L"S-1-5-21-100-200-300-1104";
    const std::wstring localAnna = L"S-1-5-21-7-8-9-1001";
    const std::wstring entraAnna = L"S-1-12-1-1111-2222-3333-4444";
    const auto valueOf = [](const std::wstring& sid) -> long long {
        wchar_t key[kLockPolicyPathChars] = {};
        FormatLockPolicyKeyPath(sid.c_str(), key);
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!RegistrySandbox::GetValue(HKEY_USERS, key, kDisableLockWorkstation, type, data) || data.size() != 4) {
            return -1;
        }
        DWORD value = 0;
        std::memcpy(&value, data.data(), sizeof(value));
        return value;
    };
    const struct {
        const char* what;
        std::wstring domain;
        std::wstring tokenSid;
        std::map<std::wstring, std::wstring> accounts;
        std::wstring written;  // empty: no account found, nothing written
    } cases[] = {
        {"a domain user whose bare name is a local account's", L"CORP", domainAnna,
         {{L"anna", localAnna}, {L"CORP\\anna", domainAnna}}, domainAnna},
        {"the same without a token", L"CORP", L"", {{L"anna", localAnna}, {L"CORP\\anna", domainAnna}},
         domainAnna},
        {"an Entra ID user", L"AzureAD", entraAnna, {{L"anna", localAnna}}, entraAnna},
        {"a user whose account no lookup finds", L"AzureAD", L"", {}, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox scratch;
        KWin32Override caseApi;
        ActionLog caseLog;
        FakeConsoleAccount console(L"anna", c.domain);
        console.tokenSid = c.tokenSid;
        console.accounts = c.accounts;
        win32.GetForegroundWindow = []() -> HWND { return nullptr; };
        FakeDesktop desktop({L"Winlogon"});
        HandleHotkey(L"LWin+L");
        if (c.written.empty()) {
            // The user is there: the action still runs.
            EXPECT_THAT(caseLog.entries, ElementsAreArray(Log{"lock"}));
        } else {
            EXPECT_THAT(caseLog.entries, ElementsAreArray(Log{"policy 0", "lock", "policy 1"}));
            EXPECT_EQ(valueOf(c.written), 1);
        }
        EXPECT_EQ(valueOf(localAnna), -1) << "written for the local namesake";
        EXPECT_EQ(console.tokenQueries, 1);
        EXPECT_EQ(console.tokensOpen, 0);
    }
}

// The local Ctrl+Alt+Del asks the service for the secure attention sequence
// (a synthesised Ctrl+Alt+Del does not bring it up) and synthesises the keys
// only when the service cannot take the request; the lock policy goes to 0
// before either and back to 1 after the wait, as for every local action.
TEST_F(HotkeyActions, LocalCtrlAltDelGoesThroughTheServiceAndFallsBackToTheKeys)
{
    using Service = ActionLog::Service;
    const Log throughService = {"policy 0", "service control 128", "sleep 50", "policy 1"};
    const Log keysAfterRefusal = Join({{"policy 0", "service control 128"}, kLocalCtrlAltDel, Polls(1), {"policy 1"}});
    const Log keysAlone = Join({{"policy 0"}, kLocalCtrlAltDel, Polls(1), {"policy 1"}});
    struct Case {
        const char* what;
        const wchar_t* hotkey;
        long long softwareSas;  // -1: no value
        Service service;
        bool managerOpens;
        Log expected;
    } const cases[] = {
        {"policy 1, the service takes it", L"ctrl+alt+del", 1, Service::Takes, true, throughService},
        {"policy 3, the service takes it", L"CTRL+ALT+DEL", 3, Service::Takes, true, throughService},
        {"policy 1, the service refuses", L"ctrl+alt+del", 1, Service::Refuses, true, keysAfterRefusal},
        {"policy 1, no service", L"ctrl+alt+del", 1, Service::NotInstalled, true, keysAlone},
        {"policy 1, no service manager", L"ctrl+alt+del", 1, Service::Takes, false, keysAlone},
        // The service would refuse: the agent does not ask.
        {"no policy", L"ctrl+alt+del", -1, Service::Takes, true, keysAlone},
        {"policy 0", L"ctrl+alt+del", 0, Service::Takes, true, keysAlone},
        {"policy 2", L"ctrl+alt+del", 2, Service::Takes, true, keysAlone},
        // Win+L never asks the service.
        {"Win+L", L"LWin+L", 1, Service::Takes, true, {"policy 0", "lock", "sleep 50", "policy 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox scratch;
        if (c.softwareSas >= 0) {
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration,
                                      static_cast<DWORD>(c.softwareSas));
        }
        ActionLog caseLog;
        caseLog.service = c.service;
        caseLog.managerOpens = c.managerOpens;
        win32.GetForegroundWindow = []() -> HWND { return nullptr; };
        FakeDesktop desktop({L"Default", L"Winlogon"});
        HandleHotkey(c.hotkey);
        EXPECT_THAT(caseLog.entries, ElementsAreArray(c.expected));
        EXPECT_EQ(caseLog.ServiceHandlesOpen(), 0) << "every service-manager handle closed";
        EXPECT_EQ(PolicyValue(), 1);
    }
}

TEST_F(HotkeyActions, TheWaitGivesUpAfterTwoHundredPollsOfTheRealDesktop)
{
    // Under Wine the input desktop is always "Default", and the lock fails.
    win32.GetForegroundWindow = []() -> HWND { return nullptr; };
    HandleHotkey(L"LWin+L");
    EXPECT_THAT(log.entries, ElementsAreArray(Join({{"policy 0", "lock"}, Polls(200), {"policy 1"}})));
    EXPECT_EQ(log.clock, 10000u);
    EXPECT_EQ(PolicyValue(), 1);
}

TEST_F(HotkeyActions, NothingHappensWithoutAUserABlockOrAKnownName)
{
    struct Case {
        const char* what;
        const wchar_t* hotkey;
        void (*arrange)();
    } const cases[] = {
        {"no console session", L"LWin+L", [] { win32.WTSGetActiveConsoleSessionId = []() -> DWORD { return 0xFFFFFFFF; }; }},
        {"no user at the console", L"ctrl+alt+del",
         [] {
             win32.WTSQuerySessionInformationW = [](HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR* buffer, DWORD* bytes) {
                 static wchar_t empty[] = L"";
                 *buffer = empty;
                 *bytes = sizeof(empty);
                 return TRUE;
             };
             win32.WTSFreeMemory = [](PVOID) {};
         }},
        {"BlockLocal", L"LWin+L",
         [] { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(L"LWin+L"), L"BlockLocal", 1); }},
        {"policy", L"ctrl+alt+del",
         [] {
             RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\KeyboardFilter",
                                       L"ctrl+alt+del", 1);
         }},
        {"Win+L is not a hotkey of the agent", L"Win+L", nullptr},
        {"trailing blank", L"LWin+L ", nullptr},
        {"quoted name", L"\"LWin+L\"", nullptr},
        {"empty name", L"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox scratch;
        KWin32Override caseApi;  // takes the case's arrangement away again
        ActionLog caseLog;
        int foregroundReads = 0;
        win32.GetForegroundWindow = [&]() -> HWND {
            ++foregroundReads;
            return nullptr;
        };
        FakeDesktop desktop({L"Winlogon"});
        if (c.arrange != nullptr) {
            c.arrange();
        }
        HandleHotkey(c.hotkey);
        if (c.arrange == nullptr) {
            EXPECT_EQ(foregroundReads, 0) << "no detection for a name that is not acted on";
        }
        EXPECT_TRUE(caseLog.entries.empty());
        EXPECT_EQ(PolicyValue(), -1);
        EXPECT_EQ(desktop.reads, 0u);
    }
}

TEST_F(HotkeyActions, AClientInFrontTakesThePressWhateverBlocksTheLocalAction)
{
    // Both sources block the local action; forwarding goes on regardless.
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(L"RWin+L"), L"BlockLocal", 1);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(L"ctrl+alt+del"), L"BlockLocal", 1);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\KeyboardFilter", L"Win+L", 1);
    const std::vector<TestWindowSpec> withCapture = {{0, L"TestFrame", L"", "frame"},
                                                     {1, L"TestPane", L"Input Capture Window", "capture"}};
    const std::vector<TestWindowSpec> frameOnly = {{0, L"TestFrame", L"", "frame"}};
    struct Case {
        const wchar_t* exe;
        std::vector<TestWindowSpec> tree;
        const wchar_t* hotkey;
        Log expected;
    } const cases[] = {
        {L"mstsc.exe", withCapture, L"RWin+L",
         {"post capture WM_KEYDOWN 5C 01DC0001", "post capture WM_KEYDOWN 4C 00CC0001", "sleep 50",
          "post capture WM_KEYUP 4C C0CC0001", "post capture WM_KEYUP 5C C1DC0001"}},
        {L"mstsc.exe", withCapture, L"lwin+l",
         {"post capture WM_KEYDOWN 5B 01DB0001", "post capture WM_KEYDOWN 4C 00CC0001", "sleep 50",
          "post capture WM_KEYUP 4C C0CC0001", "post capture WM_KEYUP 5B C1DB0001"}},
        // Without its window the client still takes the press: nothing at all.
        {L"mstsc.exe", frameOnly, L"LWin+L", {}},
        {L"mstsc.exe", frameOnly, L"ctrl+alt+del",
         {"key 12 92 0", "key 11 91 0", "key 23 A3 1", "key 23 A3 3", "key 11 91 2", "key 12 92 2"}},
        {L"CDViewer.exe", frameOnly, L"ctrl+alt+del",
         {"post null WM_KEYDOWN 11 01910001", "post null WM_KEYDOWN 12 01920001", "post null WM_KEYDOWN 2E 01AE0001",
          "post null WM_KEYUP 2E C1AE0001", "post null WM_KEYUP 12 C1920001", "post null WM_KEYUP 11 C1910001"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.exe, c.exe + wcslen(c.exe)) + " " + std::to_string(c.tree.size()) + " windows");
        TestWindows windows(c.tree);
        ActionLog caseLog;
        windows.NameAll(caseLog);
        PretendForegroundClient(windows.Top(), c.exe);
        FakeDesktop desktop({L"Winlogon"});
        HandleHotkey(c.hotkey);
        EXPECT_THAT(caseLog.entries, ElementsAreArray(c.expected));
        EXPECT_EQ(desktop.reads, 0u);
        EXPECT_EQ(PolicyValue(), -1);
    }
}

TEST_F(HotkeyActions, TheEntryTakesTheNameFromTheProcessCommandLine)
{
    struct Case {
        const wchar_t* commandLine;
        bool forwarded;
    } const cases[] = {
        {L"\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\"  \t RWin+L", true},
        {L"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe RWin+L", false},
        {L"TarnwickAgent.exe \"RWin+L\"", false},
        {L"TarnwickAgent.exe", false},
    };
    TestWindows windows({{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"Input Capture Window", "capture"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.commandLine, c.commandLine + wcslen(c.commandLine)));
        RegistrySandbox scratch;
        ActionLog caseLog;
        windows.NameAll(caseLog);
        PretendForegroundClient(windows.Top(), L"mstsc.exe");
        const std::wstring commandLine = c.commandLine;
        win32.GetCommandLineW = [&]() { return const_cast<LPWSTR>(commandLine.c_str()); };
        EXPECT_EQ(RunAgent(), 0);
        const Log forwarded = {"post capture WM_KEYDOWN 5C 01DC0001", "post capture WM_KEYDOWN 4C 00CC0001",
                               "sleep 50", "post capture WM_KEYUP 4C C0CC0001", "post capture WM_KEYUP 5C C1DC0001"};
        EXPECT_THAT(caseLog.entries, ElementsAreArray(c.forwarded ? forwarded : Log{}));
    }
}

TEST_F(HotkeyActions, TheExitCodeIsZeroAlsoWhenMemoryRunsOut)
{
    win32.GetCommandLineW = []() -> LPWSTR { throw std::bad_alloc(); };
    EXPECT_EQ(RunAgent(), 0);
}

TEST(WaitForWinlogonDesktop, TellsWhetherTheSecureDesktopCameOrThePollsRanOut)
{
    struct Case {
        std::vector<const wchar_t*> desktops;
        bool zeroLength;
        bool secondReadFails;
        bool result;
        size_t reads;
    } const cases[] = {
        {{L"Winlogon"}, false, false, true, 1},
        {{L"Default", L"Default", L"Default", L"Winlogon"}, false, false, true, 4},
        {{L"Default", nullptr}, false, false, true, 2},
        {{L"Default"}, true, false, true, 1},   // a name length of 0
        {{L"Default"}, false, true, true, 1},   // the name cannot be read
        {{L"Default"}, false, false, false, 200},
        {{L"Winlogon "}, false, false, false, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reads);
        ActionLog log;
        FakeDesktop desktop(c.desktops);
        desktop.zeroLength = c.zeroLength;
        desktop.secondReadFails = c.secondReadFails;
        EXPECT_EQ(WaitForWinlogonDesktop(), c.result);
        EXPECT_EQ(desktop.reads, c.reads);
        EXPECT_EQ(log.entries, Polls(c.result ? static_cast<int>(c.reads) - 1 : 200));
        EXPECT_EQ(desktop.opened, desktop.closed);
    }
}

TEST(GetInputDesktopName, ReadsTheNameOfTheInputDesktop)
{
    std::wstring name = L"unchanged";
    ASSERT_TRUE(GetInputDesktopName(name));
    EXPECT_EQ(name, L"Default");  // Wine's only input desktop

    KWin32Override api;
    FakeDesktop desktop({L"Winlogon"});
    desktop.withoutTerminator = true;
    ASSERT_TRUE(GetInputDesktopName(name));
    EXPECT_EQ(name, L"Winlogon");
    EXPECT_EQ(desktop.opened, desktop.closed);
}

// Memory that runs out at any allocation of a local action, the desktop
// wait's included, still puts the user's lock policy back to 1 wherever 0 was
// written, and the program exits with 0.
TEST_F(HotkeyActions, MemoryRunningOutAfterTheWriteOfZeroStillWritesOne)
{
    win32.GetForegroundWindow = []() -> HWND { return nullptr; };
    static wchar_t commandLine[] = L"TarnwickAgent.exe LWin+L";
    win32.GetCommandLineW = []() -> LPWSTR { return commandLine; };
    // The log allocates nothing while the allocations are counted.
    log.entries.reserve(4096);
    const std::vector<const wchar_t*> desktops = {L"Default", L"Default", L"Winlogon"};

    size_t allocations = 0;
    {
        FakeDesktop desktop(desktops);
        FailingAllocation counting(0);
        EXPECT_EQ(RunAgent(), 0);
        allocations = counting.Count();
    }
    ASSERT_THAT(log.entries, ElementsAreArray(Join({{"policy 0", "lock"}, Polls(2), {"policy 1"}})));
    ASSERT_GT(allocations, 0u);

    size_t afterTheWriteOfZero = 0;
    for (size_t k = 1; k <= allocations; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(allocations));
        log.entries.clear();
        FakeDesktop desktop(desktops);
        {
            FailingAllocation failing(k);
            EXPECT_EQ(RunAgent(), 0);
            ASSERT_TRUE(failing.Failed());
        }
        if (std::find(log.entries.begin(), log.entries.end(), "policy 0") != log.entries.end()) {
            ++afterTheWriteOfZero;
            EXPECT_EQ(log.entries.back(), "policy 1");
            EXPECT_EQ(PolicyValue(), 1);
        }
    }
    EXPECT_GT(afterTheWriteOfZero, 0u) << "some allocation comes after the write of 0";
}
