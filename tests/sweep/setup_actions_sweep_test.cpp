// The fault sweep of the package's custom actions, called in this process in
// the order in which Windows Installer runs them, against its session in
// memory (tests/support/fake_installer), the service manager in memory and
// the sweep's console user: an upgrade (ReadInstallDir, ReadSettings,
// CheckInstall, the services installed, SecureTarnwickService,
// StartTarnwickService) over an older version whose service the upgrade
// stopped while the console user's "DisableLockWorkstation" was 1, and a
// removal (ReadInstallDir, ReadSoftwareSasRemoval, LockPolicyZero) with two
// user profiles at 1 (one hive loaded, one loaded for the write). Every
// Windows call and every allocation fails once. The registry (inside a
// sandbox), the program search and the text of errors are real; the owners
// and access lists of files are FakeFileSecurity's.
#include "tests/support/fake_console_account.h"
#include "tests/support/fake_file_security.h"
#include "tests/support/fake_installer.h"
#include "tests/support/fake_profile_hives.h"
#include "tests/support/fake_service_manager.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/narrow_text.h"
#include "tests/support/process_figures.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

// The entry points of TarnwickSetup.dll (installer/setup_actions.cpp).
extern "C" {
UINT WINAPI ReadInstallDir(MSIHANDLE install);
UINT WINAPI ReadSettings(MSIHANDLE install);
UINT WINAPI CheckInstall(MSIHANDLE install);
UINT WINAPI SecureTarnwickService(MSIHANDLE install);
UINT WINAPI StartTarnwickService(MSIHANDLE install);
UINT WINAPI ReadSoftwareSasRemoval(MSIHANDLE install);
UINT WINAPI LockPolicyZero(MSIHANDLE install);
}

namespace {

constexpr MSIHANDLE kInstall = FakeInstaller::kInstall;
const wchar_t kServiceImage[] = L"\"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe\"";
const std::wstring kAwayUser = L"S-1-12-1-7-7-7-1002";

// The console user's "DisableLockWorkstation" in the sandbox: the number, or
// -1 when it is not a REG_DWORD.
long long ConsoleLockPolicy()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_USERS, SweepConsoleUser::PolicyKeyPath(), L"DisableLockWorkstation", type,
                                   data) ||
        type != REG_DWORD || data.size() != sizeof(DWORD)) {
        return -1;
    }
    return *reinterpret_cast<const DWORD*>(data.data());
}

// What every run of both paths must leave: no record, service handle,
// terminal-services buffer, token, SID string, security descriptor or
// process handle.
struct Leftovers {
    const FakeInstaller& installer;
    const FakeServiceManager& manager;
    const FakeConsoleAccount& user;
    const FakeFileSecurity& files;
    DWORD handlesBefore;

    void Check(SweepRun& run) const
    {
        if (!installer.records.empty()) {
            run.Problem(std::to_string(installer.records.size()) + " installer record(s) left open");
        }
        if (manager.OpenHandles() != 0) {
            run.Problem(std::to_string(manager.OpenHandles()) + " service handle(s) left open");
        }
        if (user.Unreleased() != 0) {
            run.Problem(std::to_string(user.Unreleased()) +
                        " terminal-services buffer(s), token(s) or SID string(s) not freed");
        }
        if (files.Unfreed() != 0) {
            run.Problem(std::to_string(files.Unfreed()) + " security descriptor(s) not freed");
        }
        const DWORD handlesAfter = CountProcessHandles(GetCurrentProcessId());
        if (handlesAfter != handlesBefore) {
            run.Problem(std::to_string(handlesAfter) + " handles after the run, " + std::to_string(handlesBefore) +
                        " before");
        }
    }
};

// The calls that the sweep makes for real; every other one is substituted.
#define TW_SETUP_REAL_CALLS                                                                                           \
    &Win32Api::RegOpenKeyExW, &Win32Api::RegQueryInfoKeyW, &Win32Api::RegEnumKeyExW, &Win32Api::RegEnumValueW,       \
        &Win32Api::RegQueryValueExW, &Win32Api::RegCreateKeyExW, &Win32Api::RegSetValueExW, &Win32Api::RegFlushKey, \
        &Win32Api::RegCloseKey, &Win32Api::GetSystemDirectoryW, &Win32Api::GetWindowsDirectoryW,                     \
        &Win32Api::GetEnvironmentVariableW, &Win32Api::SearchPathW, &Win32Api::GetModuleFileNameW,                   \
        &Win32Api::GetCurrentProcess, &Win32Api::GetCurrentProcessId, &Win32Api::ExpandEnvironmentStringsW,          \
        &Win32Api::CloseHandle, &Win32Api::ConvertSidToStringSidW, &Win32Api::LocalFree, &Win32Api::FormatMessageW

// The upgrade: each action in turn until one fails the install.
SweepCase UpgradeCase()
{
    return {"upgrade over a stopped older version", [](SweepRun& run) {
        KStrictWin32Override api(TW_SETUP_REAL_CALLS);
        RegistrySandbox::SetDword(HKEY_USERS, SweepConsoleUser::PolicyKeyPath(), L"DisableLockWorkstation", 1);
        FakeInstaller installer(false);
        installer.properties[L"WIX_UPGRADE_DETECTED"] = L"{6B1D43B5-6C1E-4B4A-9C9B-3B1F3F2A7E10}";
        installer.properties[L"ProgramFiles64Folder"] = L"C:\\Program Files\\";
        SweepConsoleUser user;
        FakeServiceManager manager;
        manager.managerAccess = {SC_MANAGER_CONNECT, SC_MANAGER_ALL_ACCESS};
        // The older version's service, stopped by the upgrade.
        FakeService& older = manager.services[L"TarnwickSvc"];
        older.imagePath = kServiceImage;
        older.replies = {{SERVICE_STOPPED, 0}};
        older.startReplies = {{SERVICE_START_PENDING, 0}, {SERVICE_RUNNING, 0}};
        FakeFileSecurity files;
        const Leftovers leftovers{installer, manager, user, files, CountProcessHandles(GetCurrentProcessId())};

        struct Step {
            const char* name;
            UINT (*action)(MSIHANDLE);
            bool mayFail;  // documented to fail the install
        } const steps[] = {
            {"ReadInstallDir", ReadInstallDir, false},
            {"ReadSettings", ReadSettings, false},
            {"CheckInstall", CheckInstall, true},
            {"SecureTarnwickService", SecureTarnwickService, true},
            {"StartTarnwickService", StartTarnwickService, false},
        };
        std::vector<UINT> results;
        results.reserve(std::size(steps));  // nothing of the test allocates in the counted run
        run.Counted([&] {
            for (const Step& step : steps) {
                results.push_back(step.action(kInstall));
                if (results.back() != ERROR_SUCCESS) {
                    break;  // the install ends
                }
            }
        });

        leftovers.Check(run);
        const std::string errors = Narrow(installer.Lines(INSTALLMESSAGE_ERROR));
        for (size_t i = 0; i < results.size(); ++i) {
            const UINT result = results[i];
            if (result == ERROR_SUCCESS) {
                continue;
            }
            if (!steps[i].mayFail || result != ERROR_INSTALL_FAILURE) {
                run.Problem(std::string(steps[i].name) + " returned " + std::to_string(result));
            } else if (!run.Failure().Any()) {
                run.Problem(std::string(steps[i].name) + " failed the install without a failure: " + errors);
            }
        }
        const bool secured = manager.accessLists.count(L"TarnwickSvc") != 0;
        if (results.size() >= 4 && results[3] == ERROR_SUCCESS && !secured) {
            run.Problem("SecureTarnwickService succeeded without restricting the service's access");
        }
        if (results.size() == 5) {
            // The service ends stopped unless StartServiceW reached it (a
            // failing call does not reach the service manager).
            const bool started = manager.Count("start TarnwickSvc") != 0;
            if (!started && ConsoleLockPolicy() != 0) {
                run.Problem("the service ends stopped and the console user's lock policy is " +
                            std::to_string(ConsoleLockPolicy()) + ":\n" + Narrow(installer.Lines(INSTALLMESSAGE_INFO)));
            }
            if (!run.Failure().Any() && (!started || ConsoleLockPolicy() != 1)) {
                run.Problem("without a failure the service is not started, or the lock policy is not kept at 1");
            }
        }
        if (!run.Failure().Any() && results.size() != 5) {
            run.Problem("the install ended early without a failure: " + errors);
        }
    }};
}

// The removal: every action documented never to fail it.
SweepCase RemovalCase()
{
    return {"removal with two profiles at 1", [](SweepRun& run) {
        KStrictWin32Override api(TW_SETUP_REAL_CALLS);
        FakeProfileHives hives;
        hives.AddLoaded(SweepConsoleUser::kSid, PolicyValue::Dword(1));
        hives.AddUnloaded(kAwayUser, L"%SystemDrive%\\Users\\away", PolicyValue::Dword(1));
        FakeInstaller installer(false);
        installer.properties[L"Installed"] = L"1";
        installer.properties[L"REMOVE"] = L"ALL";
        SweepConsoleUser user;
        FakeServiceManager manager;
        FakeFileSecurity files;
        const Leftovers leftovers{installer, manager, user, files, CountProcessHandles(GetCurrentProcessId())};

        std::vector<UINT> results;
        results.reserve(3);  // nothing of the test allocates in the counted run
        run.Counted([&] {
            results.push_back(ReadInstallDir(kInstall));
            results.push_back(ReadSoftwareSasRemoval(kInstall));
            results.push_back(LockPolicyZero(kInstall));
        });

        leftovers.Check(run);
        for (UINT result : results) {
            if (result != ERROR_SUCCESS) {
                run.Problem("a removal action returned " + std::to_string(result));
            }
        }
        if (hives.LoadedNow() != 0) {
            run.Problem(std::to_string(hives.LoadedNow()) + " hive(s) left loaded");
        }
        const bool restoreFailed =
            run.Failure().call != nullptr && std::string(run.Failure().call) == "AdjustTokenPrivileges";
        if (hives.PrivilegesEnabled() && !restoreFailed) {
            run.Problem("the backup and restore privileges are left enabled");
        }
        // A profile left at 1 is named in the log, or the log says that the
        // list of profiles could not be read.
        const std::string log = Narrow(installer.Lines(INSTALLMESSAGE_INFO));
        const bool listUnread = log.find("cannot read the user profiles") != std::string::npos;
        for (const std::wstring& sid : {std::wstring(SweepConsoleUser::kSid), kAwayUser}) {
            if (hives.ValueOf(sid) == PolicyValue::Dword(1) &&
                (!run.Failure().Any() || (log.find(Narrow(sid)) == std::string::npos && !listUnread))) {
                run.Problem("the profile " + Narrow(sid) + " is left at 1:\n" + log);
            }
        }
    }};
}

TEST(FaultSweep, SetupActionsInstallAndRemoval)
{
    RegistrySandbox sandbox;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(L"LWin+L"), L"run",
                               L"\"C:\\windows\\system32\\cmd.exe\" /c exit");
    ASSERT_NE(CountProcessHandles(GetCurrentProcessId()), 0u) << "the handles of this process cannot be counted";
    EXPECT_GT(RunFaultSweep("custom actions: upgrade", {UpgradeCase()}).points, 0u);
    EXPECT_GT(RunFaultSweep("custom actions: removal", {RemovalCase()}).points, 0u);
}

}  // namespace
