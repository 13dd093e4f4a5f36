// The fault sweep of the command-line mode: "/install" and "/Uninstall"
// against the service manager in memory (tests/install), with a running
// service that has an active dependant and is already stopping, and user
// profiles whose lock policy removal gives back (a hive loaded, one loaded
// for the write by FakeProfileHives); every Windows call and every allocation
// fails once. The registry (inside a sandbox) is real; the program's path is
// a fixed one (so that the number of its folders, each of whose access list
// is read, does not depend on where the tests are built), and the owners and
// access lists of the program and its folders are FakeFileSecurity's.
#include "service/install.h"
#include "tests/support/fake_service_manager.h"
#include "tests/support/fake_file_security.h"
#include "tests/support/fake_profile_hives.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>

namespace {

const wchar_t kProgram[] = L"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe";

// As GetModuleFileNameW and GetLongPathNameW give a path: its length, or 0
// when it does not fit.
DWORD CopyPath(const std::wstring& path, LPWSTR buffer, DWORD size)
{
    if (path.size() >= size) {
        return 0;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = L'\0';
    return static_cast<DWORD>(path.size());
}

const std::wstring kLoadedUser = L"S-1-5-21-7-7-7-1001";
const std::wstring kAwayUser = L"S-1-12-1-7-7-7-1002";

// The calls of giving the profiles back the lock: whatever of them fails,
// the exit code is that of the removal.
bool CallOfTheProfiles(const char* call)
{
    static const std::set<std::string> calls = {
        "RegOpenKeyExW",    "RegEnumKeyExW",     "RegQueryValueExW",      "RegSetValueExW",
        "RegFlushKey",      "RegCloseKey",       "RegLoadKeyW",           "RegUnLoadKeyW",
        "OpenProcessToken", "CloseHandle",       "LookupPrivilegeValueW", "AdjustTokenPrivileges",
        "GetFileAttributesW", "ExpandEnvironmentStringsW"};
    return call != nullptr && calls.count(call) != 0;
}

// One run of the command line with `argument` against a fresh service
// manager that `arrange` configures. The manager checks, as it goes and when
// it is destroyed at the end of the run, that every service handle is closed,
// each service before the manager it was opened through, and that the
// dependants list is freed. Every hive loaded for a write is unloaded again,
// and the privileges go back as they were.
SweepCase CommandLineCase(const std::string& name, const wchar_t* argument,
                          const std::function<void(FakeServiceManager&)>& arrange)
{
    return {name, [=](SweepRun& run) {
        // Real are the registry (in the sandbox) and what the profiles'
        // paths and hives' names need; every other call is substituted
        // below, and one that is not fails the run.
        KStrictWin32Override api(&Win32Api::RegOpenKeyExW, &Win32Api::RegEnumKeyExW, &Win32Api::RegQueryValueExW,
                                &Win32Api::RegSetValueExW, &Win32Api::RegFlushKey, &Win32Api::RegCloseKey,
                                &Win32Api::GetCurrentProcess, &Win32Api::GetCurrentProcessId,
                                &Win32Api::ExpandEnvironmentStringsW);
        FakeProfileHives hives;
        hives.AddLoaded(kLoadedUser, PolicyValue::Dword(1));
        hives.AddUnloaded(kAwayUser, L"%SystemDrive%\\Users\\away", PolicyValue::Dword(1));
        FakeServiceManager manager;
        // The program, in a folder that only SYSTEM, Administrators and
        // TrustedInstaller may change (the folders above too).
        win32.GetModuleFileNameW = [](HMODULE, LPWSTR buffer, DWORD size) -> DWORD {
            return CopyPath(kProgram, buffer, size);
        };
        win32.GetLongPathNameW = [](LPCWSTR, LPWSTR buffer, DWORD size) -> DWORD {
            return CopyPath(kProgram, buffer, size);
        };
        FakeFileSecurity files;
        arrange(manager);
        int exitCode = 1;
        run.Counted([&] { exitCode = RunCommandLineMode(argument); });
        if (!run.Escaped() && exitCode != 0 && exitCode != -1) {
            run.Problem("exit code " + std::to_string(exitCode));
        }
        if ((!run.Failure().Any() || CallOfTheProfiles(run.Failure().call)) && exitCode != 0) {
            run.Problem("exit code " + std::to_string(exitCode) + " without a failure of the service manager");
        }
        if (hives.LoadedNow() != 0) {
            run.Problem(std::to_string(hives.LoadedNow()) + " hive(s) left loaded");
        }
        // Only a failure to put them back leaves them enabled.
        const bool restoreFailed =
            run.Failure().call != nullptr && std::strcmp(run.Failure().call, "AdjustTokenPrivileges") == 0;
        if (hives.PrivilegesEnabled() && !restoreFailed) {
            run.Problem("the backup and restore privileges are left enabled");
        }
        if (!run.Failure().Any() && std::wstring(argument) == L"/Uninstall" &&
            !(hives.ValueOf(kLoadedUser) == PolicyValue::Dword(0) &&
              hives.ValueOf(kAwayUser) == PolicyValue::Dword(0))) {
            run.Problem("a profile's lock policy is not 0 after a removal without a failure");
        }
    }};
}

TEST(FaultSweep, CommandLineInstallAndUninstall)
{
    RegistrySandbox sandbox;
    const SweepCase install = CommandLineCase("/install", L"/install", [](FakeServiceManager&) {});
    const SweepCase uninstall = CommandLineCase(
        "/Uninstall of a stopping service with a dependant", L"/Uninstall", [](FakeServiceManager& manager) {
            FakeService& service = manager.services[L"TarnwickSvc"];
            // Still stopping from an earlier request, then running again, then
            // stopping on this one.
            service.replies = {{SERVICE_STOP_PENDING, 0},
                               {SERVICE_RUNNING, 0},
                               {SERVICE_STOP_PENDING, 0},
                               {SERVICE_STOPPED, 0}};
            service.dependents = {L"SweepDependant"};
            manager.services[L"SweepDependant"].replies = {{SERVICE_STOPPED, 0}};
        });
    const SweepFigures figures = RunFaultSweep("command-line install and uninstall", {install, uninstall});
    EXPECT_GT(figures.points, 0u);
}

}  // namespace
