#include "installer/setup_messages.h"

#include "common/driver_config.h"

namespace {

constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kBadConfiguration = 1610;

const std::wstring kWhenItStarts =
    L" The service stays registered: it starts at the next system start, or with \"sc start TarnwickSvc\", "
    L"once the driver's hotkey configuration is in place (\"TarnwickCtl list\" shows it).";

}  // namespace

std::wstring ConfigurationFaultText(std::uint32_t exitCode, const std::wstring& hotkey)
{
    const std::wstring key = std::wstring(L"HKEY_LOCAL_MACHINE\\") + kHotkeyKeyPath;
    if (hotkey.empty()) {
        if (exitCode == kFileNotFound) {
            return L"the driver's hotkey key " + key + L" does not exist";
        }
        if (exitCode == kBadConfiguration) {
            return L"the driver's hotkey key " + key +
                   L" has no subkeys, more than 63, or a subkey name of 128 or more characters";
        }
        return L"the driver's hotkey key " + key + L" cannot be read (Windows error " +
               std::to_wstring(exitCode) + L")";
    }
    if (exitCode == kBadConfiguration) {
        return L"the hotkey \"" + hotkey +
               L"\" has no \"run\" value of type REG_SZ, or its name or its \"run\" is too long";
    }
    return L"the hotkey \"" + hotkey + L"\" cannot be read (Windows error " + std::to_wstring(exitCode) + L")";
}

std::wstring NotStartedText(std::uint32_t exitCode, const std::wstring& hotkey)
{
    return L"TarnwickSvc was not started: " + ConfigurationFaultText(exitCode, hotkey) +
           L", so the service would stop during its start with exit code " + std::to_wstring(exitCode) + L"." +
           kWhenItStarts;
}

std::wstring StoppedDuringStartText(std::uint32_t exitCode)
{
    std::wstring cause;
    if (exitCode == kFileNotFound) {
        cause = L" (the driver's hotkey key does not exist)";
    } else if (exitCode == kBadConfiguration) {
        cause = L" (the driver's hotkey configuration cannot be used)";
    }
    return L"TarnwickSvc stopped during its start with exit code " + std::to_wstring(exitCode) + cause + L"." +
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
