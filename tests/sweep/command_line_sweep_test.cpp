// The fault sweep of the command-line mode: "/install" and "/Uninstall"
// against the service manager in memory (tests/install), with a running
// service that has an active dependant and is already stopping; every
// Windows call and every allocation fails once. The program's path and the
// registry (inside a sandbox) are real.
#include "service/install.h"
#include "tests/install/fake_service_manager.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"
#include "tests/sweep/sweep_console_user.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// One run of the command line with `argument` against a fresh service
// manager that `arrange` configures. The manager checks, as it goes and when
// it is destroyed at the end of the run, that every service handle is closed,
// each service before the manager it was opened through, and that the
// dependants list is freed.
SweepCase CommandLineCase(const std::string& name, const wchar_t* argument,
                          const std::function<void(FakeServiceManager&)>& arrange)
{
    return {name, [=](SweepRun& run) {
        // Real are the program's path, the registry (in the sandbox) and the
        // SID strings; every other call is substituted below, and one that
        // is not fails the run.
        StrictWin32Override api(&Win32Api::GetModuleFileNameW, &Win32Api::GetLongPathNameW,
                                &Win32Api::RegCreateKeyExW, &Win32Api::RegSetValueExW, &Win32Api::RegFlushKey,
                                &Win32Api::RegCloseKey, &Win32Api::ConvertSidToStringSidW, &Win32Api::LocalFree);
        SweepConsoleUser user;
        FakeServiceManager manager;
        arrange(manager);
        int exitCode = 1;
        run.Counted([&] { exitCode = RunCommandLineMode(argument); });
        if (!run.Escaped() && exitCode != 0 && exitCode != -1) {
            run.Problem("exit code " + std::to_string(exitCode));
        }
        if (!run.Failure().Any() && exitCode != 0) {
            run.Problem("exit code " + std::to_string(exitCode) + " without a failure");
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
