// ServiceMain and ServiceCtrlHandler: status reports, failed starts and
// their exit codes, and the wait loop. The registry is real (inside a
// RegistrySandbox); the service manager's calls and the process creation are
// recorded instead.
#include "service/hotkey_table.h"
#include "service/service_main.h"
#include "service/service_state.h"
#include "tests/service/service_fakes.h"
#include "tests/support/narrow_text.h"
#include "tests/support/object_owner_report.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kBadConfiguration = 1610;  // ERROR_BAD_CONFIGURATION

class ServiceLifecycle : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    FreshServiceRun run;
    StatusRecorder& recorder = run.recorder;
    LaunchRecorder& launches = run.launches;
};

TEST_F(ServiceLifecycle, StartAndStopReportTheFiveStatesWithCheckPointsOneTwoThree)
{
    const std::wstring name = UniqueHotkey(L"LWin+L");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", L"");

    std::thread serviceMain([] { ServiceMain(0, nullptr); });
    recorder.WaitForState(SERVICE_RUNNING);
    EXPECT_EQ(ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr), static_cast<DWORD>(NO_ERROR));
    serviceMain.join();

    // The stop control is not accepted while the start is pending: 0x80 only.
    ExpectStoppedAndReleased(recorder.Reports());
    ASSERT_EQ(HotkeyCount, 1u);
    // The hotkey's event is gone with the service.
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, (L"ZQKBFiltr" + name).c_str());
    EXPECT_EQ(event, nullptr);
    if (event != nullptr) {
        CloseHandle(event);
    }
}

TEST_F(ServiceLifecycle, OtherControlsAreAnsweredWithNoErrorAndChangeNothing)
{
    const std::vector<DWORD> controls = {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_SHUTDOWN,
                                         0x55};
    for (DWORD control : controls) {
        EXPECT_EQ(ServiceCtrlHandler(control, 0, nullptr, nullptr), static_cast<DWORD>(NO_ERROR)) << control;
    }
    EXPECT_TRUE(recorder.Reports().empty());
    EXPECT_EQ(CheckPointCounter, 1u);
}

TEST_F(ServiceLifecycle, RegistrationFailureReturnsWithoutAnyReport)
{
    win32.RegisterServiceCtrlHandlerExW = [](LPCWSTR, LPHANDLER_FUNCTION_EX, LPVOID) {
        return static_cast<SERVICE_STATUS_HANDLE>(nullptr);
    };
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(UniqueHotkey(L"k")), L"run", L"x");
    ServiceMain(0, nullptr);
    EXPECT_TRUE(recorder.Reports().empty());
    EXPECT_EQ(HotkeyTable, nullptr) << "the table is not even loaded";
}

// A failed start reports START_PENDING, then STOPPED with the cause as its
// exit code: the error of the call that failed, or ERROR_BAD_CONFIGURATION
// where the configuration is at fault.
TEST_F(ServiceLifecycle, FailedStartsReportStoppedWithTheirCause)
{
    const std::wstring a = UniqueHotkey(L"a");
    const std::wstring b = UniqueHotkey(L"b");
    auto goodHotkey = [&] { RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(a), L"run", L"x.exe"); };
    // A "run" that would be a good command if it were REG_SZ.
    auto runOfType = [&](DWORD type) {
        return [&, type] {
            goodHotkey();
            const wchar_t text[] = L"x.exe";
            RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, HotkeySubkey(b), L"run", type, text, sizeof(text));
        };
    };
    const Win32Api configured = win32;
    std::vector<HANDLE> held;  // objects a case keeps for its start only

    struct Case {
        const char* what;
        std::function<void()> arrange;
        DWORD exitCode;
    } const cases[] = {
        {"no hotkey key", [] {}, ERROR_FILE_NOT_FOUND},
        {"hotkey key without subkeys",
         [] { RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey"); },
         kBadConfiguration},
        {"a subkey without run",
         [&] {
             goodHotkey();
             RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(b), L"Block", 0);
         },
         kBadConfiguration},
        {"run as REG_EXPAND_SZ",
         [&] {
             goodHotkey();
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(b), L"run", L"x.exe", REG_EXPAND_SZ);
         },
         kBadConfiguration},
        {"run as REG_DWORD", [&] { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(b), L"run", 1); },
         kBadConfiguration},
        {"run as REG_NONE", runOfType(REG_NONE), kBadConfiguration},
        {"run as REG_BINARY", runOfType(REG_BINARY), kBadConfiguration},
        {"run as REG_DWORD_BIG_ENDIAN", runOfType(REG_DWORD_BIG_ENDIAN), kBadConfiguration},
        {"run as REG_LINK", runOfType(REG_LINK), kBadConfiguration},
        {"run as REG_MULTI_SZ", runOfType(REG_MULTI_SZ), kBadConfiguration},
        {"run as REG_QWORD", runOfType(REG_QWORD), kBadConfiguration},
        {"64 hotkeys",
         [&] {
             for (int i = 0; i < 64; ++i) {
                 RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(a + std::to_wstring(i)), L"run", L"x");
             }
         },
         kBadConfiguration},
        {"a name of 128 characters",
         [&] {
             goodHotkey();
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(std::wstring(128, L'n')), L"run", L"x");
         },
         kBadConfiguration},
        {"a name of 254 characters (the longest the enumeration takes)",
         [&] {
             goodHotkey();
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(std::wstring(254, L'n')), L"run", L"x");
         },
         kBadConfiguration},
        {"a name of 255 characters (fails at the enumeration)",
         [&] {
             goodHotkey();
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(std::wstring(255, L'n')), L"run", L"x");
         },
         kBadConfiguration},
        {"a hotkey named WinLogon, whose event would be the logon marker",
         [&] {
             goodHotkey();
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(L"WINLOGON"), L"run", L"x.exe");
         },
         kBadConfiguration},
        {"a run of 520 characters",
         [&] { RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(b), L"run", std::wstring(520, L'r')); },
         kBadConfiguration},
        {"a run of 100,000 characters",
         [&] {
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(b), L"run", std::wstring(100000, L'r'));
         },
         kBadConfiguration},
        {"fewer subkeys than counted",
         [&] {
             goodHotkey();
             auto realInfo = win32.RegQueryInfoKeyW;
             win32.RegQueryInfoKeyW = [realInfo](HKEY key, LPWSTR cls, LPDWORD clsChars, LPDWORD reserved,
                                                 LPDWORD subkeys, LPDWORD a1, LPDWORD a2, LPDWORD a3, LPDWORD a4,
                                                 LPDWORD a5, LPDWORD a6, PFILETIME a7) {
                 const LONG result = realInfo(key, cls, clsChars, reserved, subkeys, a1, a2, a3, a4, a5, a6, a7);
                 *subkeys += 1;  // a subkey removed while the names are collected
                 return result;
             };
         },
         ERROR_NO_MORE_ITEMS},
        {"a subkey that cannot be opened",
         [&] {
             goodHotkey();
             auto realOpen = win32.RegOpenKeyExW;
             win32.RegOpenKeyExW = [realOpen, a](HKEY root, LPCWSTR path, DWORD options, REGSAM access,
                                                 PHKEY key) -> LONG {
                 if (std::wstring(path).find(a) != std::wstring::npos) {
                     return ERROR_ACCESS_DENIED;
                 }
                 return realOpen(root, path, options, access, key);
             };
         },
         ERROR_ACCESS_DENIED},
        {"a subkey deleted between the enumeration and its open",
         [&] {
             goodHotkey();
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(b), L"run", L"y.exe");
             auto realOpen = win32.RegOpenKeyExW;
             const std::wstring doomed = HotkeySubkey(b);
             win32.RegOpenKeyExW = [realOpen, doomed](HKEY root, LPCWSTR path, DWORD options, REGSAM access,
                                                      PHKEY key) -> LONG {
                 if (path == doomed) {
                     EXPECT_EQ(RegDeleteKeyW(root, path), ERROR_SUCCESS);
                 }
                 return realOpen(root, path, options, access, key);
             };
         },
         ERROR_FILE_NOT_FOUND},
        {"a hotkey event that cannot be created (its name holds a mutex)",
         [&] {
             goodHotkey();
             held.push_back(CreateMutexW(nullptr, FALSE, (L"ZQKBFiltr" + a).c_str()));
             ASSERT_NE(held.back(), nullptr);
         },
         ERROR_INVALID_HANDLE},
        {"a hotkey event that a user created first",
         [&] {
             goodHotkey();
             held.push_back(CreateEventW(nullptr, FALSE, FALSE, (L"ZQKBFiltr" + a).c_str()));
             ASSERT_NE(held.back(), nullptr);
             ReportEveryObjectOwnedBy(L"S-1-5-21-1004336348-1177238915-682003330-1001");
         },
         ERROR_INVALID_OWNER},
        {"a stop event that cannot be created",
         [&] {
             goodHotkey();
             auto realCreate = win32.CreateEventW;
             win32.CreateEventW = [realCreate](LPSECURITY_ATTRIBUTES sa, BOOL manual, BOOL initial,
                                               LPCWSTR name) -> HANDLE {
                 if (name == nullptr) {
                     win32.SetLastError(ERROR_NO_SYSTEM_RESOURCES);
                     return nullptr;
                 }
                 return realCreate(sa, manual, initial, name);
             };
         },
         ERROR_NO_SYSTEM_RESOURCES},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceGlobalsReset fresh;
        RegistrySandbox caseSandbox;
        win32 = configured;
        StatusRecorder caseRecorder;
        // A start that wrongly succeeds ends at its first wait.
        win32.WaitForMultipleObjects = [](DWORD count, const HANDLE*, BOOL, DWORD) -> DWORD {
            ADD_FAILURE() << "the service started";
            return WAIT_OBJECT_0 + count - 1;
        };
        c.arrange();

        ServiceMain(0, nullptr);

        ExpectReports(caseRecorder.Reports(), {
                                                  {SERVICE_START_PENDING, 0x80, 1, 0},
                                                  {SERVICE_STOPPED, 0x81, 0, c.exitCode},
                                              });
        EXPECT_FALSE(StopEvent);
        EXPECT_TRUE(launches.creates.empty());
        for (HANDLE handle : held) {
            CloseHandle(handle);
        }
        held.clear();
    }
}

TEST_F(ServiceLifecycle, TheLimitsThemselvesStillLoad)
{
    const std::wstring longName = UniqueHotkey(L"n") + std::wstring(127 - UniqueHotkey(L"n").size(), L'n');
    const std::wstring longRun(519, L'r');
    ASSERT_EQ(longName.size(), 127u);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(longName), L"run", longRun);
    for (int i = 0; i < 62; ++i) {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(UniqueHotkey(L"k") + std::to_wstring(i)),
                                   L"run", L"x");
    }

    DWORD error = 0;
    ASSERT_TRUE(LoadHotkeyTable(error)) << error;
    ASSERT_TRUE(BuildWaitHandles(error)) << error;
    ASSERT_EQ(HotkeyCount, 63u);
    bool found = false;
    for (DWORD i = 0; i < HotkeyCount; ++i) {
        if (HotkeyTable[i].name == longName) {
            found = true;
            EXPECT_EQ(std::wstring(HotkeyTable[i].command), longRun);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(WaitHandles[63], StopEvent.get());
    // 64 handles in one wait: accepted by the system.
    ASSERT_TRUE(SetEvent(StopEvent.get()));
    EXPECT_EQ(WaitForMultipleObjects(HotkeyCount + 1, WaitHandles.get(), FALSE, 0), WAIT_OBJECT_0 + 63);
}

// Odd but usable configurations: the service starts, serves a press of every
// hotkey through its named event, and stops with exit code 0.
TEST_F(ServiceLifecycle, OddButUsableConfigurationsStartServeEveryHotkeyAndStopCleanly)
{
    // The hotkeys a case configures, each with the command it starts
    // (empty: it starts nothing).
    using Hotkeys = std::map<std::wstring, std::wstring>;
    auto runBytes = [](const std::wstring& name, std::vector<BYTE> bytes) {
        RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", REG_SZ, bytes.data(),
                                  static_cast<DWORD>(bytes.size()));
    };
    auto blockBytes = [](const std::wstring& name, std::vector<BYTE> bytes) {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", L"x.exe");
        RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"Block", REG_BINARY, bytes.data(),
                                  static_cast<DWORD>(bytes.size()));
    };
    struct Case {
        const char* what;
        std::function<Hotkeys()> arrange;
    } const cases[] = {
        {"a run of 5 bytes: two characters and the low half of a third",
         [&] {
             const std::wstring name = UniqueHotkey(L"odd");
             runBytes(name, {'a', 0, 'b', 0, 'c'});
             return Hotkeys{{name, L"abc"}};
         }},
        {"a run without a terminator",
         [&] {
             const std::wstring name = UniqueHotkey(L"open");
             runBytes(name, {'a', 0, 'b', 0});
             return Hotkeys{{name, L"ab"}};
         }},
        {"a run of 0 bytes and a run of 2 bytes (empty strings)",
         [&] {
             const std::wstring none = UniqueHotkey(L"none");
             const std::wstring empty = UniqueHotkey(L"empty");
             runBytes(none, {});
             runBytes(empty, {0, 0});
             return Hotkeys{{none, L""}, {empty, L""}};
         }},
        {"63 hotkeys, one of them named with 127 characters",
         [&] {
             Hotkeys hotkeys;
             const std::wstring base = UniqueHotkey(L"n");
             hotkeys[base + std::wstring(127 - base.size(), L'n')] = L"long.exe";
             for (int i = 0; i < 62; ++i) {
                 hotkeys[UniqueHotkey(L"k" + std::to_wstring(i))] = L"k" + std::to_wstring(i) + L".exe";
             }
             for (const auto& hotkey : hotkeys) {
                 RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(hotkey.first), L"run", hotkey.second);
             }
             return hotkeys;
         }},
        {"a Block of 1 byte (1: blocks) and one of 4096 bytes (too long to read: does not block)",
         [&] {
             const std::wstring shortBlock = UniqueHotkey(L"short");
             const std::wstring longBlock = UniqueHotkey(L"long");
             blockBytes(shortBlock, {1});
             std::vector<BYTE> big(4096, 0);
             big[0] = 1;
             blockBytes(longBlock, big);
             return Hotkeys{{shortBlock, L""}, {longBlock, L"x.exe"}};
         }},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox caseSandbox;
        FreshServiceRun caseRun;
        const Hotkeys hotkeys = c.arrange();

        ServiceThread service;
        service.WaitUntilWaiting();
        // Pressed in table order, each once; the table is complete once the
        // service waits.
        ASSERT_EQ(HotkeyCount, hotkeys.size());
        std::vector<std::wstring> expected;
        for (DWORD i = 0; i < HotkeyCount; ++i) {
            const std::wstring name = HotkeyTable[i].name;
            ASSERT_EQ(hotkeys.count(name), 1u);
            if (!hotkeys.at(name).empty()) {
                expected.push_back(hotkeys.at(name) + L" " + name);
            }
            HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"ZQKBFiltr" + name).c_str());
            ASSERT_NE(event, nullptr);
            service.Press(event);
            CloseHandle(event);
        }
        service.Stop();

        EXPECT_EQ(caseRun.launches.CommandLines(), expected);
        ExpectStoppedAndReleased(caseRun.recorder.Reports());
    }
}

// Runs ServiceMain on this thread. At its first wait `beforeFirstWait` runs
// (to signal events); the real wait follows.
void RunServiceWith(std::function<void()> beforeFirstWait)
{
    auto realWait = win32.WaitForMultipleObjects;
    bool first = true;
    win32.WaitForMultipleObjects = [&](DWORD count, const HANDLE* handles, BOOL all, DWORD timeout) {
        if (first) {
            first = false;
            beforeFirstWait();
        }
        return realWait(count, handles, all, timeout);
    };
    ServiceMain(0, nullptr);
}

TEST_F(ServiceLifecycle, HotkeysSignalledTogetherWithTheStopAreAllServedFirstInTableOrder)
{
    const std::wstring a = UniqueHotkey(L"a");
    const std::wstring b = UniqueHotkey(L"b");
    const std::wstring c = UniqueHotkey(L"c");
    for (const std::wstring& name : {a, b, c}) {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", L"run-" + name);
    }

    RunServiceWith([&] {
        HANDLE eventC = OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"ZQKBFiltr" + c).c_str());
        HANDLE eventA = OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"ZQKBFiltr" + a).c_str());
        ASSERT_NE(eventC, nullptr);
        ASSERT_NE(eventA, nullptr);
        SetEvent(eventC);
        SetEvent(eventC);  // a second press before the first is served
        ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
        SetEvent(eventA);
        CloseHandle(eventC);
        CloseHandle(eventA);
    });

    // Served in table order (the order of the enumeration), each once.
    std::vector<std::wstring> expected;
    ASSERT_EQ(HotkeyCount, 3u);
    for (DWORD i = 0; i < HotkeyCount; ++i) {
        const std::wstring name = HotkeyTable[i].name;
        if (name == a || name == c) {
            expected.push_back(L"run-" + name + L" " + name);
        }
    }
    EXPECT_EQ(launches.CommandLines(), expected);
    EXPECT_EQ(recorder.Reports().back().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

// An event of a hotkey that exists before the service starts keeps the
// access list its creator gave it. One of SYSTEM (the driver may create the
// events itself) or of Administrators is used, and a signal left in it is
// dropped; one that anybody else created first stops the start (above).
TEST_F(ServiceLifecycle, AStaleSignalOfAnExistingEventIsDroppedAtStart)
{
    for (const wchar_t* owner : {L"S-1-5-18", L"S-1-5-32-544"}) {
        SCOPED_TRACE(Narrow(owner));
        FreshServiceRun caseRun;
        RegistrySandbox caseSandbox;
        ReportEveryObjectOwnedBy(owner);
        const std::wstring name = UniqueHotkey(L"LWin+L");
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", L"x.exe");
        // Created before the service, manual-reset and signalled: an earlier
        // press.
        HANDLE stale = CreateEventW(nullptr, TRUE, TRUE, (L"ZQKBFiltr" + name).c_str());
        ASSERT_NE(stale, nullptr);

        DWORD staleAtFirstWait = WAIT_FAILED;
        RunServiceWith([&] {
            staleAtFirstWait = WaitForSingleObject(stale, 0);
            ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
        });
        CloseHandle(stale);

        EXPECT_EQ(staleAtFirstWait, static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_TRUE(caseRun.launches.creates.empty());
        EXPECT_EQ(caseRun.recorder.Reports().back().dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    }
}

TEST_F(ServiceLifecycle, AFailedWaitPausesAndDispatchesNothing)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(UniqueHotkey(L"k")), L"run", L"x.exe");
    std::vector<DWORD> results = {WAIT_FAILED, WAIT_ABANDONED_0, WAIT_TIMEOUT, WAIT_FAILED};
    std::vector<DWORD> sleeps;
    size_t waits = 0;
    win32.WaitForMultipleObjects = [&](DWORD count, const HANDLE*, BOOL, DWORD timeout) -> DWORD {
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(timeout, INFINITE);
        EXPECT_EQ(sleeps.size(), waits) << "every failed wait is followed by a pause";
        if (waits < results.size()) {
            return results[waits++];
        }
        return WAIT_OBJECT_0 + 1;  // the stop event
    };
    win32.Sleep = [&](DWORD ms) { sleeps.push_back(ms); };

    ServiceMain(0, nullptr);

    EXPECT_EQ(sleeps, std::vector<DWORD>(results.size(), 100));
    EXPECT_TRUE(launches.creates.empty());
    EXPECT_EQ(recorder.Reports().back().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

}  // namespace
