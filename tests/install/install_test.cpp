// The command-line mode against a service manager and a clock in memory:
// which calls are made, in which order, how long it pauses, and that every
// handle and the dependants list are released on every path. Every test runs
// in strict mode, so that none reaches the real service manager: the service
// manager, the clock and the heap are a FakeServiceManager's, the program's
// path is SetProgramPath's, and a test names each real call it makes.
#include "common/handles.h"
#include "service/install.h"
#include "tests/support/fake_service_manager.h"
#include "tests/support/machine_registry.h"
#include "tests/support/fake_file_security.h"
#include "tests/support/fake_profile_hives.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <vector>

namespace {

const wchar_t kService[] = L"TarnwickSvc";

using Calls = std::vector<std::string>;
using Sleeps = std::vector<DWORD>;

// The program file as the process sees it: GetModuleFileNameW gives
// `modulePath`, GetLongPathNameW turns it into `longPath`.
void SetProgramPath(const std::wstring& modulePath, const std::wstring& longPath)
{
    win32.GetModuleFileNameW = [modulePath](HMODULE module, LPWSTR buffer, DWORD size) -> DWORD {
        EXPECT_EQ(module, nullptr);
        if (modulePath.size() >= size) {
            return 0;
        }
        std::copy(modulePath.begin(), modulePath.end(), buffer);
        buffer[modulePath.size()] = L'\0';
        return static_cast<DWORD>(modulePath.size());
    };
    win32.GetLongPathNameW = [modulePath, longPath](LPCWSTR in, LPWSTR out, DWORD size) -> DWORD {
        if (modulePath != in || longPath.size() >= size) {
            return 0;
        }
        std::copy(longPath.begin(), longPath.end(), out);
        out[longPath.size()] = L'\0';
        return static_cast<DWORD>(longPath.size());
    };
}

// ---------------------------------------------------------------------------
// The switches

TEST(CommandLineMode, AnyOtherSingleArgumentGivesMinusOneAndContactsNoServiceManager)
{
    KStrictWin32Override api;
    for (const wchar_t* argument : {L"", L"/instal", L"install", L"/Uninstall ", L"-Uninstall", L"/remove"}) {
        SCOPED_TRACE(Narrow(argument));
        FakeServiceManager scm;
        scm.services[kService];
        EXPECT_EQ(RunCommandLineMode(argument), -1);
        EXPECT_EQ(scm.calls, Calls());
    }
}

// ---------------------------------------------------------------------------
// "/install"

TEST(InstallSwitch, RegistersTheQuotedLongProgramPathAsAnAutomaticLocalSystemService)
{
    KStrictWin32Override api;
    FakeServiceManager scm;
    FakeFileSecurity files;
    SetProgramPath(L"C:\\PROGRA~1\\TARNWI~1\\TARNWI~1.EXE", L"C:\\Program Files\\Tarnwick Keys\\TarnwickSvc.exe");

    EXPECT_EQ(RunCommandLineMode(L"/install"), 0);

    // Who may change the program, its folder and the folders above: only
    // SYSTEM, Administrators and TrustedInstaller.
    EXPECT_EQ(files.asked, (std::vector<std::wstring>{L"C:\\Program Files\\Tarnwick Keys\\TarnwickSvc.exe",
                                                      L"C:\\Program Files\\Tarnwick Keys", L"C:\\Program Files",
                                                      L"C:\\"}));

    ASSERT_EQ(scm.creates.size(), 1u);
    const FakeCreateCall& create = scm.creates[0];
    EXPECT_EQ(create.name, L"TarnwickSvc");
    EXPECT_EQ(create.displayName, L"Tarnwick Service");
    EXPECT_EQ(create.access, static_cast<DWORD>(SERVICE_ALL_ACCESS));
    EXPECT_EQ(create.type, 0x110u);
    EXPECT_EQ(create.start, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(create.errorControl, static_cast<DWORD>(SERVICE_ERROR_IGNORE));
    EXPECT_EQ(create.binaryPath, L"\"C:\\Program Files\\Tarnwick Keys\\TarnwickSvc.exe\"");
    EXPECT_TRUE(create.groupNull && create.tagNull && create.dependenciesNull && create.accountNull &&
                create.passwordNull);
    EXPECT_EQ(scm.calls, (Calls{"open manager", "create TarnwickSvc", "convert", "secure TarnwickSvc",
                                "free descriptor", "close TarnwickSvc", "close manager"}));
}

// The access list of every account that it grants anything, by SID string.
std::map<std::wstring, ACCESS_MASK> Grants(const std::wstring& accessList)
{
    std::map<std::wstring, ACCESS_MASK> grants;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(accessList.c_str(), SDDL_REVISION_1, &descriptor,
                                                                     nullptr));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) && present && acl != nullptr);
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        EXPECT_TRUE(GetAce(acl, i, &ace));
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << "only grants";
        LPWSTR sid = nullptr;
        EXPECT_TRUE(ConvertSidToStringSidW(const_cast<DWORD*>(&allowed->SidStart), &sid));
        grants[sid] |= allowed->Mask;
        LocalFree(sid);
    }
    LocalFree(descriptor);
    return grants;
}

// Who may send the service a user-defined control (the agent's request for
// the secure attention sequence): LocalSystem, under which the agent runs,
// and administrators; not the interactive users and service accounts that
// the service manager's default lets.
TEST(InstallSwitch, OnlyLocalSystemAndAdministratorsMaySendTheServiceItsOwnControls)
{
    KStrictWin32Override api;
    FakeServiceManager scm;
    FakeFileSecurity files;
    SetProgramPath(L"C:\\Tarnwick\\TarnwickSvc.exe", L"C:\\Tarnwick\\TarnwickSvc.exe");
    ASSERT_EQ(RunCommandLineMode(L"/install"), 0);

    ASSERT_EQ(scm.accessLists.count(kService), 1u);
    const std::map<std::wstring, ACCESS_MASK> grants = Grants(scm.accessLists[kService]);
    const std::wstring localSystem = L"S-1-5-18";
    const std::wstring administrators = L"S-1-5-32-544";
    const std::wstring interactive = L"S-1-5-4";
    const std::wstring service = L"S-1-5-6";
    ASSERT_EQ(grants.size(), 4u);
    for (const auto& grant : grants) {
        const bool mayControl = (grant.second & SERVICE_USER_DEFINED_CONTROL) != 0;
        EXPECT_EQ(mayControl, grant.first == localSystem || grant.first == administrators) << Narrow(grant.first);
    }
    // The rest as the service manager gives it to a new service.
    EXPECT_EQ(grants.at(localSystem), static_cast<ACCESS_MASK>(READ_CONTROL | SERVICE_ENUMERATE_DEPENDENTS |
                                                               SERVICE_INTERROGATE | SERVICE_PAUSE_CONTINUE |
                                                               SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                                                               SERVICE_START | SERVICE_STOP |
                                                               SERVICE_USER_DEFINED_CONTROL));
    EXPECT_EQ(grants.at(administrators), static_cast<ACCESS_MASK>(SERVICE_ALL_ACCESS));
    for (const std::wstring& user : {interactive, service}) {
        EXPECT_EQ(grants.at(user), static_cast<ACCESS_MASK>(READ_CONTROL | SERVICE_ENUMERATE_DEPENDENTS |
                                                            SERVICE_INTERROGATE | SERVICE_QUERY_CONFIG |
                                                            SERVICE_QUERY_STATUS))
            << Narrow(user);
    }
}

TEST(InstallSwitch, FailuresGiveMinusOne)
{
    KStrictWin32Override api;
    struct Case {
        const char* what;
        std::function<void(FakeServiceManager&)> setup;
        Calls calls;
    } const cases[] = {
        {"program path cannot be determined",
         [](FakeServiceManager&) { SetProgramPath(L"", L""); },
         {}},
        {"program path of one character",
         [](FakeServiceManager&) { SetProgramPath(L"C", L"C"); },
         {}},
        {"long form of the path cannot be determined",
         [](FakeServiceManager&) { SetProgramPath(L"C:\\TARNWI~1.EXE", L""); },
         {}},
        {"service manager cannot be opened",
         [](FakeServiceManager& scm) { scm.managerOpens = false; },
         {"open manager"}},
        {"service exists already",
         [](FakeServiceManager& scm) { scm.services[kService]; },
         {"open manager", "create TarnwickSvc", "close manager"}},
        {"its access cannot be restricted: the registration is deleted again",
         [](FakeServiceManager& scm) { scm.securityFails = true; },
         {"open manager", "create TarnwickSvc", "convert", "secure TarnwickSvc", "free descriptor",
          "delete TarnwickSvc", "close TarnwickSvc", "close manager"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServiceManager scm;
        FakeFileSecurity files;
        SetProgramPath(L"C:\\Tarnwick\\TarnwickSvc.exe", L"C:\\Tarnwick\\TarnwickSvc.exe");
        c.setup(scm);
        EXPECT_EQ(RunCommandLineMode(L"/INSTALL"), -1);
        EXPECT_EQ(scm.calls, c.calls);
    }
}

// The service runs the program as LocalSystem, and Windows looks in its
// folder first for the DLLs it loads: a program that anyone else may change,
// in a folder that anyone else may change, or in one that anyone else may
// rename, is not registered, and the service manager is not even opened.
TEST(InstallSwitch, AProgramThatOthersCouldChangeIsNotRegistered)
{
    KStrictWin32Override api;
    const std::wstring program = L"C:\\Tools\\Tarnwick\\TarnwickSvc.exe";
    struct Case {
        const char* what;
        std::wstring path;
        std::wstring sddl;  // empty: its security cannot be read
    } const cases[] = {
        {"the folder: Authenticated Users may modify it (inherited from C:\\)", L"C:\\Tools\\Tarnwick",
         L"O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)(A;OICIID;0x1301bf;;;AU)"},
        {"the folder: Users may create files in it", L"C:\\Tools\\Tarnwick",
         L"O:BAD:P(A;;FA;;;BA)(A;;0x100002;;;BU)"},
        {"the program: Everyone may write it", program, L"O:BAD:(A;;FA;;;BA)(A;;FW;;;WD)"},
        {"the program: a user owns it", program, L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)(A;;FA;;;BA)"},
        {"the program: no access list (a NULL one)", program, L"O:BA"},
        {"the folder above: Users may rename it", L"C:\\Tools", L"O:BAD:P(A;;FA;;;BA)(A;;0x10000;;;BU)"},
        {"the folder cannot be read", L"C:\\Tools\\Tarnwick", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServiceManager scm;
        FakeFileSecurity files;
        if (c.sddl.empty()) {
            files.errors[c.path] = ERROR_ACCESS_DENIED;
        } else {
            files.sddl[c.path] = c.sddl;
        }
        SetProgramPath(program, program);
        EXPECT_EQ(RunCommandLineMode(L"/install"), -1);
        EXPECT_EQ(scm.calls, Calls());
        EXPECT_TRUE(scm.creates.empty());
    }
}

// ---------------------------------------------------------------------------
// Stopping the service

constexpr FakeStatus Running = {SERVICE_RUNNING, 0};
constexpr FakeStatus Stopped = {SERVICE_STOPPED, 0};
constexpr FakeStatus QueryFails = {0, 0};
constexpr FakeStatus Pending(DWORD hint) { return {SERVICE_STOP_PENDING, hint}; }

TEST(StopService, AStoppedServiceOrOneWhoseStatusCannotBeReadGetsNoStopRequest)
{
    KStrictWin32Override api;
    for (const FakeStatus first : {Stopped, QueryFails}) {
        SCOPED_TRACE(first.state);
        FakeServiceManager scm;
        scm.services[kService].replies = {first};
        EXPECT_TRUE(StopService());
        EXPECT_EQ(scm.calls, (Calls{"open manager", "open TarnwickSvc", "query TarnwickSvc", "close TarnwickSvc",
                                    "close manager"}));
        EXPECT_EQ(scm.openAccess[kService], 0x2Cu);
    }
}

TEST(StopService, FalseWhenTheManagerOrTheServiceCannotBeOpened)
{
    KStrictWin32Override api;
    {
        FakeServiceManager scm;
        scm.managerOpens = false;
        scm.services[kService];
        EXPECT_FALSE(StopService());
        EXPECT_EQ(scm.calls, Calls{"open manager"});
    }
    {
        FakeServiceManager scm;
        EXPECT_FALSE(StopService());
        EXPECT_EQ(scm.calls, (Calls{"open manager", "open TarnwickSvc", "close manager"}));
    }
}

TEST(StopService, WhileAStopIsPendingPollsAtATenthOfTheHintWithinOneAndTenSeconds)
{
    KStrictWin32Override api;
    struct Case {
        DWORD hint;
        DWORD pause;
    } const cases[] = {{0, 1000}, {5000, 1000}, {15000, 1500}, {200000, 10000}};
    for (const Case& c : cases) {
        SCOPED_TRACE("hint " + std::to_string(c.hint));
        FakeServiceManager scm;
        scm.services[kService].replies = {Pending(c.hint)};
        EXPECT_TRUE(StopService());
        // Never stops: polled at the same pause until the first query past 30 s,
        // and no stop request of its own is sent.
        EXPECT_EQ(scm.sleeps, Sleeps(30000 / c.pause + 1, c.pause));
        EXPECT_EQ(scm.Count("stop TarnwickSvc"), 0u);
        EXPECT_EQ(scm.Count("enum TarnwickSvc"), 0u);
    }
}

TEST(StopService, APendingStopThatEndsLeadsToAStopRequestOnlyWhenTheServiceRunsAgain)
{
    KStrictWin32Override api;
    struct Case {
        const char* what;
        std::vector<FakeStatus> replies;
        Sleeps sleeps;
        size_t stopRequests;
    } const cases[] = {
        {"stops", {Pending(0), Pending(0), Stopped}, {1000, 1000}, 0},
        {"status cannot be read", {Pending(0), QueryFails}, {1000}, 0},
        {"runs again", {Pending(0), Running, Stopped}, {1000, 0}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServiceManager scm;
        scm.services[kService].replies = c.replies;
        EXPECT_TRUE(StopService());
        EXPECT_EQ(scm.sleeps, c.sleeps);
        EXPECT_EQ(scm.Count("stop TarnwickSvc"), c.stopRequests);
    }
}

TEST(StopService, AfterTheStopRequestSleepsEachReportedWaitHintUnclamped)
{
    KStrictWin32Override api;
    struct Case {
        const char* what;
        FakeService service;
        Sleeps sleeps;
        size_t queries;
    };
    auto service = [](FakeStatus stopReply, std::vector<FakeStatus> replies, bool acceptsStop = true) {
        FakeService s;
        s.stopReply = stopReply;
        s.replies = std::move(replies);
        s.acceptsStop = acceptsStop;
        return s;
    };
    const Case cases[] = {
        {"hints of 0", service(Pending(0), {Running, Pending(0), Pending(0), Stopped}), {0, 0, 0}, 4},
        {"hints as reported each time", service(Pending(500), {Running, Pending(2500), Stopped}), {500, 2500}, 3},
        // One long sleep before the limit is tested again: the stop takes
        // longer than 30 s.
        {"a hint beyond the limit", service(Pending(40000), {Running, Pending(40000)}), {40000}, 2},
        {"stopped at once", service(Stopped, {Running}), {}, 1},
        {"stop request refused", service(Pending(0), {Running}, false), {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServiceManager scm;
        scm.services[kService] = c.service;
        EXPECT_TRUE(StopService());
        EXPECT_EQ(scm.sleeps, c.sleeps);
        EXPECT_EQ(scm.Count("query TarnwickSvc"), c.queries);
        EXPECT_EQ(scm.Count("stop TarnwickSvc"), 1u);
    }
}

TEST(StopService, BackToBackQueriesWithAHintOfZeroEndAtTheFirstQueryPastTheLimit)
{
    KStrictWin32Override api;
    FakeServiceManager scm;
    scm.now = 5000;
    scm.queryCostMs = 7;
    scm.services[kService].replies = {Running, Pending(0)};
    EXPECT_TRUE(StopService());

    EXPECT_EQ(scm.sleeps, Sleeps(scm.sleeps.size(), 0));
    EXPECT_GT(scm.now - 5000, 30000u);
    EXPECT_LE(scm.now - 5000 - scm.queryCostMs, 30000u);
    EXPECT_EQ(scm.calls.back(), "close manager");
}

TEST(StopService, ATickCounterThatWrapsDuringTheStopKeepsTheFullLimit)
{
    KStrictWin32Override api;
    for (const DWORD start : {0xFFFFFFFFu - 4999u, 0xFFFFFFFFu, 0x7FFFFFFFu - 2500u}) {
        SCOPED_TRACE(start);
        FakeServiceManager scm;
        scm.now = start;
        scm.services[kService].replies = {Running, Pending(1000)};
        scm.services[kService].stopReply = Pending(1000);
        EXPECT_TRUE(StopService());
        EXPECT_EQ(scm.sleeps, Sleeps(31, 1000));
    }
}

// ---------------------------------------------------------------------------
// Stopping the dependants

FakeService Dependent(FakeStatus stopReply, std::vector<FakeStatus> replies = {Stopped})
{
    FakeService s;
    s.stopReply = stopReply;
    s.replies = std::move(replies);
    return s;
}

struct DependentsCase {
    const char* what;
    std::function<void(FakeServiceManager&)> setup;
    bool result;
};

// Every case has the dependant "Alpha", which stops after one wait of 300 ms,
// unless the case changes it.
const DependentsCase kDependentsCases[] = {
    {"none", [](FakeServiceManager& scm) { scm.services[kService].dependents.clear(); }, true},
    {"one that stops", [](FakeServiceManager&) {}, true},
    {"one that reports stopped at once",
     [](FakeServiceManager& scm) { scm.services[L"Alpha"] = Dependent(Stopped); }, true},
    {"two that stop",
     [](FakeServiceManager& scm) {
         scm.services[kService].dependents = {L"Alpha", L"Beta"};
         scm.services[L"Beta"] = Dependent(Pending(0));
     },
     true},
    {"one that cannot be opened", [](FakeServiceManager& scm) { scm.services[L"Alpha"].openable = false; }, false},
    {"one that refuses the stop", [](FakeServiceManager& scm) { scm.services[L"Alpha"].acceptsStop = false; },
     false},
    {"one whose status cannot be read",
     [](FakeServiceManager& scm) { scm.services[L"Alpha"] = Dependent(Pending(300), {QueryFails}); }, false},
    {"one that never stops, while the tick counter wraps",
     [](FakeServiceManager& scm) {
         scm.now = 0xFFFFFFFFu - 100u;
         scm.services[L"Alpha"] = Dependent(Pending(1000), {Pending(1000)});
     },
     false},
    {"sizing enumeration fails", [](FakeServiceManager& scm) { scm.firstEnumError = ERROR_ACCESS_DENIED; }, false},
    {"list cannot be allocated", [](FakeServiceManager& scm) { scm.heapFails = true; }, false},
    {"second enumeration fails", [](FakeServiceManager& scm) { scm.secondEnumFails = true; }, false},
};

void SetUpDependents(FakeServiceManager& scm, const DependentsCase& c)
{
    scm.services[kService].replies = {Running, Stopped};
    scm.services[kService].dependents = {L"Alpha"};
    scm.services[L"Alpha"] = Dependent(Pending(300));
    c.setup(scm);
}

TEST(StopDependentServices, StopsEachActiveDependantInTurnAndFailsOnTheFirstThatDoesNot)
{
    KStrictWin32Override api;
    for (const DependentsCase& c : kDependentsCases) {
        SCOPED_TRACE(c.what);
        FakeServiceManager scm;
        SetUpDependents(scm, c);
        {
            KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
            KScHandle service(win32.OpenServiceW(manager.get(), kService, 0x2C));
            scm.calls.clear();
            EXPECT_EQ(StopDependentServices(service.get(), manager.get()), c.result);
        }
        const FakeService& main = scm.services[kService];
        if (main.dependents.empty()) {
            EXPECT_EQ(scm.calls, (Calls{"enum TarnwickSvc", "close TarnwickSvc", "close manager"}));
            continue;
        }
        // The list is as large as the sizing enumeration said, zeroed, and
        // allocated once (freed on every path: the fake checks that).
        if (!scm.allocations.empty()) {
            EXPECT_EQ(scm.allocations, std::vector<SIZE_T>{scm.reportedBytes});
            EXPECT_EQ(scm.allocationFlags, std::vector<DWORD>{HEAP_ZERO_MEMORY});
        }
        for (const std::wstring& name : main.dependents) {
            if (scm.openAccess.count(name) != 0) {
                EXPECT_EQ(scm.openAccess[name], 0x24u);
            }
        }
    }
}

TEST(StopDependentServices, DependantsAreStoppedOneAfterTheOtherBeforeTheServiceItself)
{
    KStrictWin32Override api;
    FakeServiceManager scm;
    scm.services[kService].replies = {Running, Stopped};
    scm.services[kService].dependents = {L"Alpha", L"Beta"};
    scm.services[L"Alpha"] = Dependent(Pending(300));
    scm.services[L"Beta"] = Dependent(Pending(0));
    EXPECT_TRUE(StopService());
    EXPECT_EQ(scm.calls, (Calls{"open manager", "open TarnwickSvc", "query TarnwickSvc", "enum TarnwickSvc",
                                "alloc", "enum TarnwickSvc",
                                "open Alpha", "stop Alpha", "sleep 300", "query Alpha", "close Alpha",
                                "open Beta", "stop Beta", "sleep 0", "query Beta", "close Beta",
                                "free", "stop TarnwickSvc", "sleep 0", "query TarnwickSvc",
                                "close TarnwickSvc", "close manager"}));
}

TEST(StopDependentServices, WithoutActiveDependantsNoListIsAllocatedAndNoOtherServiceOpened)
{
    KStrictWin32Override api;
    FakeServiceManager scm;
    scm.services[kService].replies = {Running, Stopped};
    EXPECT_TRUE(StopService());
    EXPECT_TRUE(scm.allocations.empty());
    EXPECT_EQ(scm.calls, (Calls{"open manager", "open TarnwickSvc", "query TarnwickSvc", "enum TarnwickSvc",
                                "stop TarnwickSvc", "sleep 0", "query TarnwickSvc", "close TarnwickSvc",
                                "close manager"}));
}

// ---------------------------------------------------------------------------
// "/Uninstall"

// Profiles as the service leaves them: the console user's at 1 (a stop),
// another logged-on user's at 1, and one whose hive was unloaded at logoff
// before the service could write 0.
const std::wstring kOtherUser = L"S-1-5-21-1-2-3-1002";
const std::wstring kAwayUser = L"S-1-12-1-4-5-6-7";

class UninstallSwitch : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring key = ConsoleUserPolicyKey();
        consoleSid = key.substr(0, key.find(L'\\'));
        ASSERT_FALSE(consoleSid.empty());
        SetProfiles();
    }

    void SetProfiles()
    {
        hives.AddLoaded(consoleSid, PolicyValue::Dword(1));
        hives.AddLoaded(kOtherUser, PolicyValue::Dword(1));
        hives.AddUnloaded(kAwayUser, L"%SystemDrive%\\Users\\away", PolicyValue::Dword(1));
    }

    // Each profile's value, as a number (-1: not a REG_DWORD).
    std::vector<long long> Values()
    {
        std::vector<long long> values;
        for (const std::wstring& sid : {consoleSid, kOtherUser, kAwayUser}) {
            const PolicyValue value = hives.ValueOf(sid);
            DWORD number = 0;
            if (value.present && value.type == REG_DWORD && value.data.size() == sizeof(number)) {
                std::memcpy(&number, value.data.data(), sizeof(number));
                values.push_back(number);
            } else {
                values.push_back(-1);
            }
        }
        return values;
    }

    // Logs each policy write into the fake's calls as "policy N".
    static void LogPolicyWrites(FakeServiceManager& scm)
    {
        win32.RegSetValueExW = [&scm](HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                      DWORD size) {
            DWORD value = 0;
            if (type == REG_DWORD && size == sizeof(value)) {
                std::memcpy(&value, data, sizeof(value));
            }
            scm.calls.push_back(Narrow(name) == "DisableLockWorkstation" ? "policy " + std::to_string(value)
                                                                         : "write " + Narrow(name));
            return ::RegSetValueExW(key, name, reserved, type, data, size);
        };
    }

    RegistrySandbox sandbox;
    // Also real: the registry (in the sandbox) of the profiles, and the
    // process and the environment that their paths and hives' names need.
    // Loading hives and the privileges are the fake's below. Nothing of the
    // console user is called.
    KStrictWin32Override api{&Win32Api::RegOpenKeyExW,     &Win32Api::RegEnumKeyExW,
                            &Win32Api::RegQueryValueExW,  &Win32Api::RegSetValueExW,
                            &Win32Api::RegFlushKey,       &Win32Api::RegCloseKey,
                            &Win32Api::GetCurrentProcess, &Win32Api::GetCurrentProcessId,
                            &Win32Api::ExpandEnvironmentStringsW};
    FakeProfileHives hives;
    std::wstring consoleSid;
};

using Numbers = std::vector<long long>;

TEST_F(UninstallSwitch, StopsAndDeletesTheServiceThenGivesEveryUserProfileTheLockBack)
{
    FakeServiceManager scm;
    LogPolicyWrites(scm);
    scm.services[kService].replies = {Running, Stopped};

    EXPECT_EQ(RunCommandLineMode(L"/Uninstall"), 0);

    EXPECT_EQ(scm.calls, (Calls{"open manager", "open TarnwickSvc", "query TarnwickSvc", "enum TarnwickSvc",
                                "stop TarnwickSvc", "sleep 0", "query TarnwickSvc", "close TarnwickSvc",
                                "close manager", "open manager", "open TarnwickSvc", "delete TarnwickSvc",
                                "close TarnwickSvc", "close manager", "policy 0", "policy 0", "policy 0"}));
    EXPECT_EQ(scm.openAccess[kService], static_cast<DWORD>(DELETE));
    EXPECT_EQ(Values(), (Numbers{0, 0, 0}));
    EXPECT_EQ(hives.LoadedNow(), 0u);
    EXPECT_FALSE(hives.PrivilegesEnabled());
}

TEST_F(UninstallSwitch, ExitCodeAndPolicyByOutcome)
{
    struct Case {
        const char* what;
        std::function<void(FakeServiceManager&)> setup;
        int exitCode;
        bool deleted;
        Numbers values;
    } const cases[] = {
        {"service not installed", [](FakeServiceManager& scm) { scm.services.clear(); }, -1, false, {1, 1, 1}},
        {"service manager cannot be opened", [](FakeServiceManager& scm) { scm.managerOpens = false; }, -1, false,
         {1, 1, 1}},
        {"service already stopped", [](FakeServiceManager& scm) { scm.services[kService].replies = {Stopped}; }, 0,
         true, {0, 0, 0}},
        {"deletion fails", [](FakeServiceManager& scm) { scm.services[kService].deleteFails = true; }, 0, true,
         {0, 0, 0}},
        // Removal by Group Policy runs at boot, before anyone logs on.
        {"no user at the console",
         [](FakeServiceManager&) { win32.WTSGetActiveConsoleSessionId = []() -> DWORD { return 0xFFFFFFFF; }; }, 0,
         true, {0, 0, 0}},
        {"a profile's hive cannot be loaded",
         [this](FakeServiceManager&) { hives.loadErrors[hives.HiveFile(kAwayUser)] = ERROR_SHARING_VIOLATION; }, 0,
         true, {0, 0, 1}},
        {"the profiles cannot be listed",
         [](FakeServiceManager&) {
             const auto open = win32.RegOpenKeyExW;
             win32.RegOpenKeyExW = [open](HKEY parent, LPCWSTR subkey, DWORD options, REGSAM access, PHKEY key) {
                 if (parent == HKEY_LOCAL_MACHINE) {
                     return LONG(ERROR_ACCESS_DENIED);
                 }
                 return open(parent, subkey, options, access, key);
             };
         },
         0, true, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetProfiles();
        hives.loadErrors.clear();
        KWin32Override caseApi;  // takes the case's own substitutes away again
        FakeServiceManager scm;
        scm.services[kService].replies = {Running, Stopped};
        c.setup(scm);
        EXPECT_EQ(RunCommandLineMode(L"/uninstall"), c.exitCode);
        EXPECT_EQ(scm.Count("delete TarnwickSvc"), c.deleted ? 1u : 0u);
        EXPECT_EQ(Values(), c.values);
        EXPECT_EQ(hives.LoadedNow(), 0u);
    }
}

TEST_F(UninstallSwitch, AFailureWithTheDependantsStillSendsTheStopRequestAndDeletes)
{
    for (const DependentsCase& c : kDependentsCases) {
        if (c.result) {
            continue;
        }
        SCOPED_TRACE(c.what);
        FakeServiceManager scm;
        SetUpDependents(scm, c);
        EXPECT_EQ(RunCommandLineMode(L"/UNINSTALL"), 0);
        const size_t stop = scm.IndexOf("stop TarnwickSvc");
        const size_t remove = scm.IndexOf("delete TarnwickSvc");
        ASSERT_NE(stop, std::string::npos);
        ASSERT_NE(remove, std::string::npos);
        EXPECT_LT(scm.IndexOf("enum TarnwickSvc"), stop);
        EXPECT_LT(stop, remove);
    }
}

}  // namespace
