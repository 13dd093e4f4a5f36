// Whether an install may go on, decided before anything is changed. Needs no
// Windows header.
#pragma once

#include <string>

// What the installer and the machine tell before an install.
struct InstallFacts {
    bool installed = false;    // this very version is installed (a maintenance run)
    bool olderFound = false;   // an older version is installed: this run upgrades it
    bool newerFound = false;   // a newer version is installed
    std::wstring agentHotkeys; // AGENTHOTKEYS as the install goes by it
    bool serviceRegistered = false;  // a service named TarnwickSvc exists
    std::wstring serviceImagePath;   // its registered program, when known
    std::wstring softwareSas = L"1";  // SOFTWARESAS as the install goes by it
    std::wstring folderCheck = L"1";  // FOLDERCHECK as given ("1" when not)
    std::wstring folder;              // the folder of the programs
    std::wstring openFolder;          // who may change it or a folder above; empty when nobody else may
};

// Empty when the install may go on; otherwise the message of the refusal:
// a newer version installed, an AGENTHOTKEYS, a SOFTWARESAS or a FOLDERCHECK
// other than 0 or 1, a TarnwickSvc that no version of the package
// registered (by hand with "/install", or by other software), or (unless
// FOLDERCHECK is 0) a folder of the programs that others may change.
std::wstring RefusalOf(const InstallFacts& facts);

// Where the value of a setting that the package remembers comes from.
enum class SettingSource {
    Given,       // on the command line or in a transform
    Remembered,  // what the installed version was given (HKLM\SOFTWARE\Tarnwick)
    Default,     // neither: the package's own default
};

struct SettingChoice {
    std::wstring value;  // what the run goes by; empty for the default folder
    SettingSource source = SettingSource::Default;
    // A value was given that differs from the one taken, and is ignored.
    bool givenIgnored = false;
};

// Which value of a remembered setting (AGENTHOTKEYS, SOFTWARESAS, INSTALLDIR)
// a run goes by. An install of the product, first or an upgrade, takes the
// given value, else the remembered one, else `fallback`. A run of the
// installed product (`maintenance`: a repair, a change, the same version
// again, a removal) takes the remembered value, else `fallback`, and ignores
// a given one: Windows Installer lets a standard user repair a per-machine
// product, and what that run is given reaches the part of the install that
// runs as LocalSystem, which would write it into the remembered values for
// the next upgrade. A `folder` compares without regard to letter case and a
// trailing backslash.
SettingChoice ChooseSetting(bool maintenance, const std::wstring& given, const std::wstring& remembered,
                            const std::wstring& fallback, bool folder);
