// Starting the service at the end of an install, and the console user's lock
// policy when the service does not run afterwards: the hotkey configuration
// and the user's hive read from a real registry (inside a RegistrySandbox),
// the service manager, the console user and the clock in memory.
#include "installer/console_lock.h"
#include "installer/service_start.h"
#include "tests/support/fake_console_account.h"
#include "tests/support/fake_file_security.h"
#include "tests/support/fake_service_manager.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/test_programs.h"
#include "tests/support/text_contains.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

FakeStatus Status(DWORD state, DWORD exitCode = 0)
{
    return FakeStatus{state, 0, exitCode};
}

// The service manager's side of a start, in memory with a virtual clock: the
// service registered as the package registers it, stopped, whose folders only
// the trusted may change. The check before the start looks at the
// registration through a handle of its own.
class FakeStart {
public:
    FakeStart()
    {
        // The start and the check connect; the rollback's stop asks for all.
        manager.managerAccess = {SC_MANAGER_CONNECT, SC_MANAGER_ALL_ACCESS};
        manager.now = 0x7FFFF000;  // the watch spans a wrap of the tick count
        FakeService& service = Service();
        service.replies = {Status(SERVICE_STOPPED)};
        service.imagePath = L"\"" + BinPath(L"TarnwickSvc.exe") + L"\"";
    }

    FakeService& Service() { return manager.services[L"TarnwickSvc"]; }

    ServiceStart Run() { return Run(StartServiceIfConfigured); }
    ServiceStart Run(ServiceStart (*start)(const ReportLine&))
    {
        const ServiceStart outcome = start([this](const std::wstring& line) { lines.push_back(Narrow(line)); });
        EXPECT_EQ(manager.OpenHandles(), 0u) << "service handles left open";
        EXPECT_FALSE(lines.empty());
        return outcome;
    }
    // The rollback of the start.
    void Stop()
    {
        StopServiceAndGiveTheLockBack([this](const std::wstring& line) { lines.push_back(Narrow(line)); });
        EXPECT_EQ(manager.OpenHandles(), 0u) << "service handles left open";
    }

    size_t Starts() const { return manager.Count("start TarnwickSvc"); }
    size_t Stops() const { return manager.Count("stop TarnwickSvc"); }
    // The status queries that watched a start.
    size_t WatchQueries() const
    {
        const size_t start = manager.IndexOf("start TarnwickSvc");
        return start == std::string::npos
                   ? 0
                   : static_cast<size_t>(std::count(manager.calls.begin() + static_cast<std::ptrdiff_t>(start),
                                                    manager.calls.end(), std::string("query TarnwickSvc")));
    }

    // The outcome, the last line reported.
    std::string Line() const { return lines.empty() ? std::string() : lines.back(); }
    // Every line reported, one a line.
    std::string All() const
    {
        std::string all;
        for (const std::string& line : lines) {
            all += line + "\n";
        }
        return all;
    }

    FakeServiceManager manager;
    std::vector<std::string> lines;

private:
    FakeFileSecurity files_;
};

// A hotkey whose program exists: the check finds nothing to say.
void UsableConfiguration()
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(L"LWin+L"), L"run",
                               L"\"C:\\windows\\system32\\cmd.exe\"");
}

}  // namespace

TEST(ServiceStart, AConfigurationTheServiceWouldRefuseIsNotStartedAndTheLogSaysWhy)
{
    struct Case {
        const char* what;
        void (*configure)();
        const char* finding;  // a part of the error line
        const char* verdict;  // a part of the last line
    } const cases[] = {
        {"no hotkey key", [] {}, "does not exist",
         "TarnwickSvc was not started: the service would refuse to start: exit code 2 (ERROR_FILE_NOT_FOUND"},
        {"no hotkeys",
         [] { RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey"); },
         "no subkeys",
         "TarnwickSvc was not started: the service would refuse to start: exit code 1610 (ERROR_BAD_CONFIGURATION"},
        {"a hotkey without run",
         [] {
             UsableConfiguration();
             RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(L"RWin+L"), L"Block", 1);
         },
         "error: hotkey \"RWin+L\", value \"run\"", "exit code 1610 (ERROR_BAD_CONFIGURATION"},
        {"a run of another type",
         [] {
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(L"ctrl+alt+del"), L"run", L"%T%\\a.exe",
                                        REG_EXPAND_SZ);
         },
         "error: hotkey \"ctrl+alt+del\", value \"run\": \"run\" is REG_EXPAND_SZ", "exit code 1610"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox sandbox;
        c.configure();
        FakeStart scm;
        EXPECT_EQ(scm.Run(), ServiceStart::NotConfigured);
        EXPECT_EQ(scm.Starts(), 0u);
        EXPECT_TRUE(Contains(scm.All(), c.finding)) << scm.All();
        EXPECT_TRUE(Contains(scm.Line(), c.verdict)) << scm.Line();
        EXPECT_TRUE(Contains(scm.Line(), "sc start TarnwickSvc")) << scm.Line();
    }
}

TEST(ServiceStart, WarningsOfTheCheckReachTheLogAndTheServiceStartsAllTheSame)
{
    RegistrySandbox sandbox;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(L"LWin+L"), L"run",
                               L"C:\\No Such Folder\\TarnwickAgent.exe");
    FakeStart scm;
    EXPECT_EQ(scm.Run(), ServiceStart::Started);
    EXPECT_TRUE(Contains(scm.All(), "warning: hotkey \"LWin+L\", value \"run\"")) << scm.All();
    EXPECT_EQ(scm.Line(), "TarnwickSvc started.");
}

TEST(ServiceStart, AStartIsWatchedUntilTheServiceRunsOrStops)
{
    RegistrySandbox sandbox;
    UsableConfiguration();
    {
        SCOPED_TRACE("running");
        FakeStart scm;
        scm.Service().startReplies = {Status(SERVICE_START_PENDING), Status(SERVICE_START_PENDING),
                                      Status(SERVICE_RUNNING)};
        EXPECT_EQ(scm.Run(), ServiceStart::Started);
        EXPECT_EQ(scm.Starts(), 1u);
        EXPECT_EQ(scm.manager.sleeps, std::vector<DWORD>({kStartPollMs, kStartPollMs}));
        EXPECT_EQ(scm.Line(), "TarnwickSvc started.");
    }
    {
        SCOPED_TRACE("stopped during its start");
        FakeStart scm;
        scm.Service().startReplies = {Status(SERVICE_START_PENDING), Status(SERVICE_STOPPED, ERROR_BAD_CONFIGURATION)};
        EXPECT_EQ(scm.Run(), ServiceStart::StoppedDuringStart);
        EXPECT_TRUE(Contains(scm.Line(), "TarnwickSvc stopped during its start with exit code 1610 (ERROR_BAD_CONFIGURATION"))
            << scm.Line();
    }
    {
        SCOPED_TRACE("never leaves START_PENDING");
        FakeStart scm;
        scm.Service().startReplies = {Status(SERVICE_START_PENDING)};
        EXPECT_EQ(scm.Run(), ServiceStart::StillStarting);
        DWORD slept = 0;
        for (DWORD ms : scm.manager.sleeps) {
            slept += ms;
        }
        EXPECT_GE(slept, kStartWatchMs);
        EXPECT_LT(slept, kStartWatchMs + kStartPollMs);
        EXPECT_TRUE(Contains(scm.Line(), "still starting after 30 seconds")) << scm.Line();
    }
}

TEST(ServiceStart, TheServiceManagersRefusalsEndTheStartWithTheirError)
{
    RegistrySandbox sandbox;
    UsableConfiguration();
    struct Case {
        const char* what;
        bool managerOpens, serviceExists;  // else: ERROR_ACCESS_DENIED, ERROR_SERVICE_DOES_NOT_EXIST
        DWORD startError;
        ServiceStart outcome;
        const char* line;
    } const cases[] = {
        {"manager", false, true, 0, ServiceStart::Failed,
         "TarnwickSvc was not started: opening the service manager failed with Windows error 5."},
        {"service", true, false, 0, ServiceStart::Failed,
         "TarnwickSvc was not started: opening the service failed with Windows error 1060."},
        {"disabled", true, true, ERROR_SERVICE_DISABLED, ServiceStart::Failed,
         "TarnwickSvc was not started: StartService failed with Windows error 1058."},
        {"running already", true, true, ERROR_SERVICE_ALREADY_RUNNING, ServiceStart::AlreadyRunning,
         "TarnwickSvc is running already."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeStart scm;
        scm.manager.managerOpens = c.managerOpens;
        scm.Service().startError = c.startError;
        if (!c.serviceExists) {
            scm.manager.services.clear();
        }
        EXPECT_EQ(scm.Run(), c.outcome);
        EXPECT_EQ(scm.Line(), c.line);
        EXPECT_EQ(scm.WatchQueries(), 0u);
    }
}

namespace {

const wchar_t kUserSid[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";

// The console user's "DisableLockWorkstation" below the sandbox's
// HKEY_USERS: "absent", "REG_DWORD n" or "type t".
std::string ConsoleUsersValue()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    const std::wstring key = std::wstring(kUserSid) + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    if (!RegistrySandbox::GetValue(HKEY_USERS, key, L"DisableLockWorkstation", type, data)) {
        return "absent";
    }
    if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        return "REG_DWORD " + std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
    }
    return "type " + std::to_string(type);
}

void SetConsoleUsersValue(DWORD value)
{
    RegistrySandbox::SetDword(
        HKEY_USERS, std::wstring(kUserSid) + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
        L"DisableLockWorkstation", value);
}

const char kLowered[] = "TarnwickSvc is not running; the console user's lock policy: "
                        "S-1-5-21-1004336348-1177238915-682003330-1001: \"DisableLockWorkstation\" set from 1 to 0 "
                        "(hive loaded)";

}  // namespace

// The service writes 1 for the console user at its start and keeps it when it
// stops: whenever the service does not run after the start at the end of an
// install, repair or upgrade (which may have stopped it on the way), the
// user's 1 goes to 0; a service that runs, or is still starting, holds it.
TEST(ServiceStart, WhenTheServiceDoesNotRunAfterwardsTheConsoleUserGetsTheLockBack)
{
    struct Case {
        const char* what;
        bool usable;
        DWORD startError;
        std::vector<FakeStatus> replies;
        ServiceStart outcome;
        const char* value;
    } const cases[] = {
        {"started", true, 0, {Status(SERVICE_RUNNING)}, ServiceStart::Started, "REG_DWORD 1"},
        {"running already", true, ERROR_SERVICE_ALREADY_RUNNING, {}, ServiceStart::AlreadyRunning, "REG_DWORD 1"},
        {"still starting", true, 0, {Status(SERVICE_START_PENDING)}, ServiceStart::StillStarting, "REG_DWORD 1"},
        {"not configured", false, 0, {}, ServiceStart::NotConfigured, "REG_DWORD 0"},
        {"stopped during its start", true, 0, {Status(SERVICE_STOPPED, ERROR_BAD_CONFIGURATION)},
         ServiceStart::StoppedDuringStart, "REG_DWORD 0"},
        {"refused", true, ERROR_SERVICE_DISABLED, {}, ServiceStart::Failed, "REG_DWORD 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox sandbox;
        if (c.usable) {
            UsableConfiguration();
        }
        SetConsoleUsersValue(1);
        FakeStart scm;
        scm.Service().startError = c.startError;
        if (!c.replies.empty()) {
            scm.Service().startReplies = c.replies;
        }
        FakeConsoleAccount console(L"anna", L"KIOSK");
        console.tokenSid = kUserSid;
        EXPECT_EQ(scm.Run(StartServiceOrGiveTheLockBack), c.outcome);
        EXPECT_EQ(ConsoleUsersValue(), c.value);
        EXPECT_EQ(Contains(scm.All(), kLowered), std::string(c.value) == "REG_DWORD 0") << scm.All();
        EXPECT_EQ(console.tokensOpen, 0);
    }
}

// Only a REG_DWORD 1 goes to 0, as on removal; the log names the user or
// says that nobody is logged on.
TEST(ServiceStart, OnlyTheConsoleUsersOneGoesToZero)
{
    struct Case {
        const char* what;
        const wchar_t* user;
        const wchar_t* tokenSid;
        long long before;  // -1: absent
        const char* after;
        const char* line;
    } const cases[] = {
        {"absent", L"anna", kUserSid, -1, "absent",
         "TarnwickSvc is not running; the console user's lock policy: S-1-5-21-1004336348-1177238915-682003330-1001: "
         "\"DisableLockWorkstation\" absent: left as it is"},
        {"2", L"anna", kUserSid, 2, "REG_DWORD 2", "\"DisableLockWorkstation\" is not the number 1: left as it is"},
        {"nobody logged on", L"", L"", 1, "REG_DWORD 1",
         "TarnwickSvc is not running; nobody is logged on at the console, whose lock policy it would set from 1 to "
         "0."},
        {"an account that cannot be found", L"anna", L"", 1, "REG_DWORD 1",
         "TarnwickSvc is not running; the account of the console user anna cannot be found: its lock policy is left "
         "as it is."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox sandbox;
        if (c.before >= 0) {
            SetConsoleUsersValue(static_cast<DWORD>(c.before));
        }
        FakeConsoleAccount console(c.user, L"KIOSK");
        console.tokenSid = c.tokenSid;
        std::vector<std::string> lines;
        GiveConsoleUserTheLockBack([&](const std::wstring& line) { lines.push_back(Narrow(line)); });
        EXPECT_EQ(ConsoleUsersValue(), c.after);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(Contains(lines[0], c.line)) << lines[0];
    }
}

// The rollback of the start stops the service that the start started, and
// gives the console user the lock back that the service took.
TEST(ServiceStart, TheRollbackStopsTheServiceAndGivesTheConsoleUserTheLockBack)
{
    RegistrySandbox sandbox;
    SetConsoleUsersValue(1);
    FakeStart scm;
    scm.Service().replies = {Status(SERVICE_RUNNING), Status(SERVICE_STOPPED)};
    FakeConsoleAccount console(L"anna", L"KIOSK");
    console.tokenSid = kUserSid;
    scm.Stop();
    EXPECT_EQ(scm.Stops(), 1u);
    EXPECT_EQ(ConsoleUsersValue(), "REG_DWORD 0");
    EXPECT_TRUE(Contains(scm.All(), "the install is rolled back: TarnwickSvc is stopped.")) << scm.All();
    EXPECT_TRUE(Contains(scm.All(), kLowered)) << scm.All();
}
