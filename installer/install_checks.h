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
};

// Empty when the install may go on; otherwise the message of the refusal:
// a newer version installed, an AGENTHOTKEYS or a SOFTWARESAS other than 0
// or 1, or a TarnwickSvc that no version of the package registered (by hand
// with "/install", or by other software).
std::wstring RefusalOf(const InstallFacts& facts);
