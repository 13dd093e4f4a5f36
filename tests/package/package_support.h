// Test support for the package's tests: running Wine's msiexec silently with
// a log, and reading what an install left on the machine (files, the
// service's registration and state, the driver's key, the console user's
// lock policy). Each test program runs in a Wine prefix of its own, so these
// read and write the machine's real registry and service manager.
#pragma once

#include "tests/support/registry_sandbox.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// The packages of the tests, as Windows paths.
std::wstring CurrentPackage();
std::wstring OlderPackage();
std::wstring FailingPackage();

// The default folder of the installed programs, with a trailing backslash.
const std::wstring& DefaultFolder();

struct MsiRun {
    DWORD exitCode = 0;
    std::string log;  // the verbose installer log
};

// msiexec /i or /x PACKAGE /qn /l*v LOG, with `properties` appended, and
// FOLDERCHECK=0 unless they give FOLDERCHECK (under Wine every folder counts
// as one that others may change).
MsiRun InstallPackage(const std::wstring& package, const std::wstring& properties = L"");
MsiRun RemovePackage(const std::wstring& package);
// A repair of the installed product as "msiexec /fMODE {product code}
// PROPERTIES" runs it on Windows: REINSTALL=ALL and REINSTALLMODE=MODE.
// (Wine's msiexec /f takes no properties; its /i of the installed package
// with these two is the same run.)
MsiRun RepairPackage(const std::wstring& package, const std::wstring& mode, const std::wstring& properties = L"");

// The lines of the log that the package's custom actions wrote.
bool LogHas(const MsiRun& run, const std::string& text);

// Below HKEY_LOCAL_MACHINE.
const std::wstring& ServiceKey();  // SYSTEM\CurrentControlSet\Services\TarnwickSvc
const std::wstring& DriverKey();   // SYSTEM\CurrentControlSet\services\zqkbfiltr
std::wstring HotkeyKey(const std::wstring& name);
bool KeyExists(const std::wstring& path);
// False when the value does not exist or has another type.
bool ReadString(const std::wstring& path, const wchar_t* name, std::wstring& value);
bool ReadDword(const std::wstring& path, const wchar_t* name, DWORD& value);
void WriteString(const std::wstring& path, const wchar_t* name, const std::wstring& value);
void WriteDword(const std::wstring& path, const wchar_t* name, DWORD value);

// The machine policy SoftwareSASGeneration: "absent", "REG_DWORD n", or
// "type t" for another type.
std::string SoftwareSasPolicy();
void SetSoftwareSasPolicy(DWORD value);

// Every key and value below a key of HKEY_LOCAL_MACHINE.
KeyDump DumpKey(const std::wstring& path);

// The driver as an administrator set it up: its key, and hotkey subkeys
// holding values that are not the package's: "Block" of LWin+L,
// "BlockLocal" of RWin+L, and a hotkey of the administrator's own,
// "Ctrl+Shift+F9", with its "run".
void SetUpDriver();
// The values that SetUpDriver wrote are all still there, unchanged.
void ExpectAdministratorValuesKept();
// The "run" of the three hotkeys is the installed agent in `folder`, quoted.
void ExpectAgentRunValues(const std::wstring& folder);
void ExpectNoAgentRunValues();

struct ServiceState {
    bool registered = false;
    DWORD state = 0;     // SERVICE_RUNNING, ...
    DWORD exitCode = 0;  // dwWin32ExitCode
    DWORD processId = 0;
};
// Waits (up to 20 s) while the service is START_PENDING or STOP_PENDING.
ServiceState QueryTarnwickService();

// The registered ImagePath without the quotation marks that Windows
// Installer puts around it (Wine's installer writes it without them).
std::wstring FindRegisteredProgram();

// Whether a process of that file name (without folder) is running.
bool ProcessRunning(const wchar_t* fileName);

// "TarnwickSvc.exe", "TarnwickAgent.exe" and "TarnwickCtl.exe".
const std::vector<std::wstring>& ShippedPrograms();
bool FileExists(const std::wstring& path);
// The file version string of a program's version resource.
std::string FileVersionOf(const std::wstring& path);
