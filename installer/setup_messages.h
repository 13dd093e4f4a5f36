// What the package's custom actions write into the installer log. Needs no
// Windows header.
#pragma once

#include <cstdint>
#include <string>

// The log line of an install that leaves the service registered but not
// started, with the verdict of the check ("the service would refuse to
// start: exit code 2 (...)").
std::wstring NotStartedText(const std::wstring& verdict);

// The log line of a service that stopped during its start, with its exit
// code and what that means.
std::wstring StoppedDuringStartText(std::uint32_t exitCode, const std::wstring& meaning);

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

// The message of an install refused because others than SYSTEM,
// Administrators and TrustedInstaller may change the folder of the programs
// or a folder above it (`who` says who may do what, where).
std::wstring OpenFolderText(const std::wstring& folder, const std::wstring& who);

// The message of an install refused for a FOLDERCHECK other than 0 or 1.
std::wstring FolderCheckText(const std::wstring& given);

// The message of an install refused for a SOFTWARESAS other than 0 or 1.
std::wstring SoftwareSasText(const std::wstring& given);

// Whether the package holds the machine policy "SoftwareSASGeneration" (its
// component writes 1 there, and its removal takes that away): with
// SOFTWARESAS=1, where the machine has no such value, or where the package
// set the value itself (an upgrade, or the same version again). A value that
// is there otherwise is the administrator's and stays as it is.
bool PackageHoldsSoftwareSas(bool softwareSas, bool policyPresent, bool setByPackage);

// The log line of that decision; `shown` is the value as stored (e.g.
// "REG_DWORD 2 (0x00000002)") when it is present.
std::wstring SoftwareSasInstallText(bool softwareSas, bool policyPresent, bool setByPackage,
                                    const std::wstring& shown);

// The log line of a removal (not an upgrade's): whether it takes the value
// away.
std::wstring SoftwareSasRemovalText(bool setByPackage);

// The log line of a setting's value: "AGENTHOTKEYS is 1 (the default).",
// "... (given).", "... (as the installed version had it).".
std::wstring SettingText(const std::wstring& property, const std::wstring& value, bool given, bool remembered);

// The log line of a value given to a run of the installed product and
// ignored; `kept` is the value taken ("" for the default folder),
// `remembered` whether the installed version had it.
std::wstring IgnoredSettingText(const std::wstring& property, const std::wstring& given, const std::wstring& kept,
                                bool remembered);
