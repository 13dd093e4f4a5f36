// The package's custom actions, the entry points that Windows Installer
// calls in TarnwickSetup.dll. They only translate between the installer
// (properties, log) and the operations of this folder; no exception leaves
// them.
#include "common/error_text.h"
#include "common/profile_lock_policy.h"
#include "common/win32_api.h"
#include "installer/console_lock.h"
#include "installer/install_checks.h"
#include "installer/machine_state.h"
#include "installer/msi_session.h"
#include "installer/service_start.h"
#include "installer/setup_messages.h"
#include "service/install.h"

#include <exception>
#include <string>

#define TW_CUSTOM_ACTION extern "C" __declspec(dllexport) UINT __stdcall

namespace {

template <typename Action>
UINT Guarded(MSIHANDLE install, UINT onException, Action action)
{
    try {
        return action();
    } catch (const std::exception&) {
        Log(install, L"the custom action ran out of memory.");
        return onException;
    }
}

// A run of the installed product: a repair, a change, the same version
// again, a removal. (An upgrade is a first install of its own version.)
bool Maintenance(MSIHANDLE install)
{
    return !GetProperty(install, L"Installed").empty();
}

// Sets `property` by ChooseSetting from what was given and what the installed
// version remembered as `rememberedAs`, and says so in the log; a value given
// to a run of the installed product is ignored, and the log says that too.
// `fallback` empty: the property is left out (the default folder).
void ReadSetting(MSIHANDLE install, const wchar_t* property, const wchar_t* rememberedAs,
                 const std::wstring& fallback, bool folder)
{
    const std::wstring given = GetProperty(install, property);
    const SettingChoice choice =
        ChooseSetting(Maintenance(install), given, ReadRememberedSetting(rememberedAs), fallback, folder);
    if (choice.givenIgnored) {
        Log(install, IgnoredSettingText(property, given, choice.value, choice.source == SettingSource::Remembered));
    }
    if (choice.value != given) {
        SetProperty(install, property, choice.value);
    }
    // The folder is named only when it is not the one given or the default.
    if (!folder || choice.source == SettingSource::Remembered) {
        Log(install, SettingText(property, choice.value, choice.source == SettingSource::Given,
                                 choice.source == SettingSource::Remembered));
    }
}

}  // namespace

// Immediate, before costing, in both sequences and on every run (removal
// too, whose files are where the install put them): INSTALLDIR, when not
// given, is the folder that the installed version remembered; a run of the
// installed version keeps that folder whatever it is given.
TW_CUSTOM_ACTION ReadInstallDir(MSIHANDLE install)
{
    return Guarded(install, ERROR_SUCCESS, [&] {
        ReadSetting(install, L"INSTALLDIR", L"InstallDir", std::wstring(), true);
        return static_cast<UINT>(ERROR_SUCCESS);
    });
}

// Immediate, before costing, in both sequences, except on removal: the
// settings an install goes by, AGENTHOTKEYS and SOFTWARESAS (ReadSetting:
// a run of the installed version keeps what its install chose).
// TwDriverInstalled is set when the driver's key exists: only then are the
// "run" values written. TwSoftwareSas is set when the package holds the
// machine policy SoftwareSASGeneration (PackageHoldsSoftwareSas): only then
// does its component write the value, which Windows Installer then takes
// away on removal and on a rollback like every other value of the package.
TW_CUSTOM_ACTION ReadSettings(MSIHANDLE install)
{
    return Guarded(install, ERROR_SUCCESS, [&] {
        ReadSetting(install, L"AGENTHOTKEYS", L"AgentHotkeys", L"1", false);
        ReadSetting(install, L"SOFTWARESAS", L"SoftwareSas", L"1", false);
        const std::wstring softwareSas = GetProperty(install, L"SOFTWARESAS");
        const SoftwareSasFacts policy = ReadSoftwareSasFacts();
        const bool holds = PackageHoldsSoftwareSas(softwareSas == L"1", policy.present, policy.setByPackage);
        SetProperty(install, L"TwSoftwareSas", holds ? L"1" : L"");
        if (softwareSas == L"0" || softwareSas == L"1") {  // any other: CheckInstall refuses
            Log(install,
                SoftwareSasInstallText(softwareSas == L"1", policy.present, policy.setByPackage, policy.shown));
        }
        const bool driver = DriverKeyExists();
        SetProperty(install, L"TwDriverInstalled", driver ? L"1" : L"");
        if (!driver) {
            Log(install, std::wstring(L"the driver's key HKEY_LOCAL_MACHINE\\") + kDriverKeyPath +
                             L" does not exist: the package writes no \"run\" values for the agent.");
        }
        return static_cast<UINT>(ERROR_SUCCESS);
    });
}

// Immediate, before the launch conditions and before anything is changed,
// in both sequences: refuses an install that must not go on (a newer version
// installed, a wrong AGENTHOTKEYS, a TarnwickSvc registered by other means),
// with its message in the installer log.
TW_CUSTOM_ACTION CheckInstall(MSIHANDLE install)
{
    return Guarded(install, ERROR_INSTALL_FAILURE, [&] {
        InstallFacts facts;
        facts.installed = !GetProperty(install, L"Installed").empty();
        facts.olderFound = !GetProperty(install, L"WIX_UPGRADE_DETECTED").empty();
        facts.newerFound = !GetProperty(install, L"WIX_DOWNGRADE_DETECTED").empty();
        facts.agentHotkeys = GetProperty(install, L"AGENTHOTKEYS");
        facts.softwareSas = GetProperty(install, L"SOFTWARESAS");
        facts.serviceRegistered = FindRegisteredService(facts.serviceImagePath);
        const std::wstring folderCheck = GetProperty(install, L"FOLDERCHECK");
        facts.folderCheck = folderCheck.empty() ? L"1" : folderCheck;
        // Before costing INSTALLDIR holds only what was given or remembered;
        // else it is the default, Tarnwick below the 64-bit Program Files.
        facts.folder = GetProperty(install, L"INSTALLDIR");
        if (facts.folder.empty()) {
            facts.folder = GetProperty(install, L"ProgramFiles64Folder") + L"Tarnwick\\";
        }
        if (facts.folderCheck == L"1") {
            facts.openFolder = WhoElseMayChangeFolder(facts.folder);
        }
        const std::wstring refusal = RefusalOf(facts);
        if (refusal.empty()) {
            return static_cast<UINT>(ERROR_SUCCESS);
        }
        WriteMessage(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), refusal);
        return static_cast<UINT>(ERROR_INSTALL_FAILURE);
    });
}

// Deferred, as LocalSystem, after the services are installed: starts the
// service when its configuration lets it start; when it does not run then
// (a repair or upgrade stopped it on the way), the console user gets the lock
// back. Never fails the install.
TW_CUSTOM_ACTION StartTarnwickService(MSIHANDLE install)
{
    return Guarded(install, ERROR_SUCCESS, [&] {
        StartServiceOrGiveTheLockBack([&](const std::wstring& line) { Log(install, line); });
        return static_cast<UINT>(ERROR_SUCCESS);
    });
}

// Deferred, as LocalSystem, after the services are installed, except on
// removal: only LocalSystem and administrators may send the service its
// user-defined controls (RestrictServiceControl). A service that anyone
// logged on could send the secure-attention control to fails the install.
TW_CUSTOM_ACTION SecureTarnwickService(MSIHANDLE install)
{
    return Guarded(install, ERROR_INSTALL_FAILURE, [&] {
        if (RestrictRegisteredServiceControl()) {
            Log(install, L"TarnwickSvc takes its user-defined controls from LocalSystem and administrators only.");
            return static_cast<UINT>(ERROR_SUCCESS);
        }
        const DWORD error = win32.GetLastError();
        WriteMessage(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR),
                     L"The access of the service TarnwickSvc could not be restricted to LocalSystem and "
                     L"administrators (Windows " +
                         DescribeError(error, false, std::wstring()) + L"). Nothing was installed or changed.");
        return static_cast<UINT>(ERROR_INSTALL_FAILURE);
    });
}

// Immediate, before costing, on removal: TwSoftwareSas is set when the
// package set the machine policy SoftwareSASGeneration, so that its
// component, and only then, is removed with the value. Says so, unless an
// upgrade removes this version (its newer version holds the value again).
TW_CUSTOM_ACTION ReadSoftwareSasRemoval(MSIHANDLE install)
{
    return Guarded(install, ERROR_SUCCESS, [&] {
        const bool setByPackage = ReadSoftwareSasFacts().setByPackage;
        SetProperty(install, L"TwSoftwareSas", setByPackage ? L"1" : L"");
        if (GetProperty(install, L"UPGRADINGPRODUCTCODE").empty()) {
            Log(install, SoftwareSasRemovalText(setByPackage));
        }
        return static_cast<UINT>(ERROR_SUCCESS);
    });
}

// Rollback of the start, as LocalSystem: an install, repair or upgrade that
// fails after the service was started stops it again, so that the installer
// can remove what it installed (Windows leaves a service that runs marked
// for deletion, and its files in place), and gives the console user the lock
// back. A service that the rest of the rollback starts again (an earlier
// version put back) writes the value anew at its start.
TW_CUSTOM_ACTION StopTarnwickService(MSIHANDLE install)
{
    return Guarded(install, ERROR_SUCCESS, [&] {
        StopServiceAndGiveTheLockBack([&](const std::wstring& line) { Log(install, line); });
        return static_cast<UINT>(ERROR_SUCCESS);
    });
}

// Deferred, as LocalSystem, on removal but not an upgrade's, after the
// service is stopped and deleted: every user profile's "DisableLockWorkstation"
// of 1 goes to 0 (LowerLockPolicyOfEveryProfile), so that no user is left
// unable to lock the PC once nothing lowers it any more. Each profile
// changed and each one skipped is named in the log. Never fails the removal.
TW_CUSTOM_ACTION LockPolicyZero(MSIHANDLE install)
{
    const auto lower = [&] {
        const ProfilesReset reset = LowerLockPolicyOfEveryProfile();
        const auto errorText = [](std::uint32_t error) { return ExplainError(error); };
        for (const ProfileReset& profile : reset.profiles) {
            if (profile.outcome == ProfileOutcome::Lowered || profile.outcome == ProfileOutcome::Skipped ||
                profile.unloadError != 0) {
                Log(install, ProfileResetLine(profile, errorText));
            }
        }
        if (!reset.listed) {
            Log(install, std::wstring(L"cannot read the user profiles under HKEY_LOCAL_MACHINE\\") +
                             kProfileListKeyPath + L" (" + ExplainError(reset.listError) + L")");
        }
        Log(install, L"DisableLockWorkstation of " + ProfilesResetSummary(reset) + L".");
        return static_cast<UINT>(ERROR_SUCCESS);
    };
    // Memory that runs out on the way would leave profiles at 1 that nothing
    // lowers once the package is gone: the profiles are gone through once
    // more (only a 1 is changed, so what the first pass lowered stays).
    if (Guarded(install, ERROR_NOT_ENOUGH_MEMORY, lower) == ERROR_SUCCESS) {
        return ERROR_SUCCESS;
    }
    return Guarded(install, ERROR_SUCCESS, lower);
}
