// What the package's custom actions read of the machine before an install:
// a TarnwickSvc registered by other means, the driver's key, the settings
// that an earlier install of the package remembered, and the machine policy
// that the package may set.
#pragma once

#include "common/win32_api.h"

#include <string>

// Below HKEY_LOCAL_MACHINE: the keyboard filter driver's own service key,
// present once the driver is installed (the hotkey key lies below it).
constexpr const wchar_t* kDriverKeyPath = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr";

// Below HKEY_LOCAL_MACHINE, in the 64-bit view: what the package remembers
// of its install ("AgentHotkeys", "InstallDir"), for the next upgrade.
constexpr const wchar_t* kSettingsKeyPath = L"SOFTWARE\\Tarnwick";

// True when a service named TarnwickSvc is registered; `imagePath` then holds
// its registered program as the service manager has it (empty when its
// configuration cannot be read).
bool FindRegisteredService(std::wstring& imagePath);

bool DriverKeyExists();

// Who besides SYSTEM, Administrators and TrustedInstaller may change the
// folder that is to hold the programs, or a folder above it, in words; empty
// when nobody else may. A folder that does not exist yet is not looked at
// (the package creates it with an access list of its own), the folders
// above it are; one whose access list cannot be read counts as open.
std::wstring WhoElseMayChangeFolder(const std::wstring& folder);

// A REG_SZ of the remembered settings; empty when there is none.
std::wstring ReadRememberedSetting(const wchar_t* name);

// Below kSettingsKeyPath: REG_DWORD 1 while the package holds the machine
// policy "SoftwareSASGeneration" (written and removed with that value).
constexpr const wchar_t* kSoftwareSasSetValue = L"SoftwareSasSet";

// What an install reads of the machine policy "SoftwareSASGeneration".
struct SoftwareSasFacts {
    bool present = false;     // the value exists, of whatever type
    std::wstring shown;       // as stored, e.g. "REG_DWORD 2 (0x00000002)", when present
    bool setByPackage = false;  // kSoftwareSasSetValue is 1
};
SoftwareSasFacts ReadSoftwareSasFacts();
