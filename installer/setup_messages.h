// What the package's custom actions write into the installer log. Needs no
// Windows header.
#pragma once

#include <cstdint>
#include <string>

// Why the hotkey configuration does not let the service start, for the exit
// code the service would stop with. `hotkey` names the hotkey at fault; it is
// empty when the fault lies in the hotkey key itself.
std::wstring ConfigurationFaultText(std::uint32_t exitCode, const std::wstring& hotkey);

// The log line of an install that leaves the service registered but not
// started because of its configuration.
std::wstring NotStartedText(std::uint32_t exitCode, const std::wstring& hotkey);

// The log line of a service that stopped during its start, with its exit code.
std::wstring StoppedDuringStartText(std::uint32_t exitCode);

// The command that removes a registration made by hand: the registered
// program (quoted unless it already is) followed by "/Uninstall".
std::wstring UninstallCommandFor(const std::wstring& imagePath);

// The message of an install refused because the service is registered
// already, not by this package.
std::wstring ForeignServiceText(const std::wstring& imagePath);

// The message of an install refused because a newer version is installed.
std::wstring DowngradeText();

// The message of an install refused for an AGENTHOTKEYS other than 0 or 1.
std::wstring AgentHotkeysText(const std::wstring& given);
