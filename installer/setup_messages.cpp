#include "installer/setup_messages.h"

#include "common/error_names.h"
#include "common/software_sas.h"

namespace {

const std::wstring kWhenItStarts =
    L" The service stays registered: it starts at the next system start, or with \"sc start TarnwickSvc\", "
    L"once the driver's hotkey configuration is in place (\"TarnwickCtl check\" tells).";

// "SoftwareSASGeneration (HKEY_LOCAL_MACHINE\...\Policies\System)".
std::wstring PolicyName()
{
    return std::wstring(kSoftwareSasGeneration) + L" (HKEY_LOCAL_MACHINE\\" + kSystemPoliciesKeyPath + L")";
}

}  // namespace

std::wstring NotStartedText(const std::wstring& verdict)
{
    return L"TarnwickSvc was not started: " + verdict + L"." + kWhenItStarts;
}

std::wstring StoppedDuringStartText(std::uint32_t exitCode, const std::wstring& meaning)
{
    return L"TarnwickSvc stopped during its start with exit code " + DescribeExitCode(exitCode, meaning) + L"." +
           kWhenItStarts;
}

std::wstring UninstallCommandFor(const std::wstring& imagePath)
{
    const std::wstring program = imagePath.empty() ? std::wstring(L"TarnwickSvc.exe") : imagePath;
    if (program.front() == L'"') {
        return program + L" /Uninstall";
    }
    return L"\"" + program + L"\" /Uninstall";
}

std::wstring ForeignServiceText(const std::wstring& imagePath)
{
    return L"The service TarnwickSvc is registered already, but not by this package (its program: " +
           (imagePath.empty() ? std::wstring(L"unknown") : imagePath) +
           L"). Remove that registration first, from an elevated command prompt: " + UninstallCommandFor(imagePath) +
           L" . Then install the package again. Nothing was installed or changed.";
}

std::wstring DowngradeText()
{
    // The same text as the package's launch condition (installer/Tarnwick.wxs).
    return L"A newer version of Tarnwick is installed already. To install this older version, remove the newer one "
           L"first (msiexec /x with its package or product code).";
}

std::wstring AgentHotkeysText(const std::wstring& given)
{
    return L"AGENTHOTKEYS must be 0 or 1, not \"" + given + L"\". Nothing was installed or changed.";
}

std::wstring SoftwareSasText(const std::wstring& given)
{
    return L"SOFTWARESAS must be 0 or 1, not \"" + given + L"\". Nothing was installed or changed.";
}

bool PackageHoldsSoftwareSas(bool softwareSas, bool policyPresent, bool setByPackage)
{
    return softwareSas && (!policyPresent || setByPackage);
}

std::wstring SoftwareSasInstallText(bool softwareSas, bool policyPresent, bool setByPackage,
                                    const std::wstring& shown)
{
    if (!softwareSas) {
        return L"SOFTWARESAS is 0: the package leaves the machine policy " + PolicyName() + L" alone.";
    }
    if (!policyPresent) {
        return L"the machine policy " + PolicyName() +
               L" is not set: the package sets it to 1, so that the service may bring up the secure screen for a "
               L"local Ctrl+Alt+Del; removal takes it away again.";
    }
    if (setByPackage) {
        return L"the machine policy " + PolicyName() + L" was set by the package: it stays set.";
    }
    return L"the machine policy " + PolicyName() + L" is set already, to " + shown + L": left as it is.";
}

std::wstring SoftwareSasRemovalText(bool setByPackage)
{
    return setByPackage ? L"the machine policy " + PolicyName() + L", which the package set, goes with it."
                        : L"the machine policy " + PolicyName() + L" was not set by the package: left as it is.";
}

std::wstring SettingText(const std::wstring& property, const std::wstring& value, bool given, bool remembered)
{
    return property + L" is " + value +
           (given ? L" (given)." : remembered ? L" (as the installed version had it)." : L" (the default).");
}

std::wstring IgnoredSettingText(const std::wstring& property, const std::wstring& given, const std::wstring& kept,
                                bool remembered)
{
    const std::wstring what = kept.empty() ? std::wstring(L"the default folder")
                                           : kept + (remembered ? L"" : L" (the default)");
    return property + L"=" + given +
           L" is ignored: Tarnwick is installed, and a repair or any other run of the installed version keeps what "
           L"its install chose, " +
           what + L". To change it, remove Tarnwick and install it again with the new value.";
}

std::wstring OpenFolderText(const std::wstring& folder, const std::wstring& who)
{
    return L"The programs of Tarnwick run as LocalSystem, and the folder " + folder +
           L" or a folder above it can be changed by others than SYSTEM, Administrators and TrustedInstaller (" + who +
           L"): whoever can change it could put programs of his own there. Install into a folder that only "
           L"they can change (the default, C:\\Program Files\\Tarnwick), or protect the folders above it first. "
           L"FOLDERCHECK=0 skips this check.";
}

std::wstring FolderCheckText(const std::wstring& given)
{
    return L"FOLDERCHECK=" + given + L" is not understood: give 1 (check the folder, the default) or 0 (do not).";
}
