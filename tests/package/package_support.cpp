#include "tests/package/package_support.h"

#include "tests/support/narrow_text.h"
#include "tests/support/program_image.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

namespace {

// A Linux path of the build (a compile definition) as Wine's drive Z: has it.
std::wstring WinePath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c != '\0'; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return path;
}

const wchar_t kLog[] = L"C:\\tarnwick-package.log";

MsiRun RunMsiexec(const std::wstring& arguments)
{
    DeleteFileW(kLog);
    const RunResult run =
        RunProgram(L"msiexec.exe " + arguments + L" /qn /l*v \"" + kLog + L"\"", 240000);
    EXPECT_TRUE(run.started) << "msiexec could not be started: error " << run.error;
    EXPECT_TRUE(run.finished) << "msiexec did not finish";
    MsiRun result;
    result.exitCode = run.exitCode;
    result.log = Narrow(ReadTextFile(kLog));
    return result;
}

const wchar_t* const kAgentHotkeys[] = {L"LWin+L", L"RWin+L", L"ctrl+alt+del"};
const wchar_t kOwnHotkey[] = L"Ctrl+Shift+F9";
const wchar_t kOwnCommand[] = L"\"C:\\Tools\\screenshot.exe\" /quiet";

}  // namespace

std::wstring CurrentPackage() { return WinePath(TW_CURRENT_PACKAGE); }
std::wstring OlderPackage() { return WinePath(TW_OLDER_PACKAGE); }
std::wstring FailingPackage() { return WinePath(TW_FAILING_PACKAGE); }

const std::wstring& DefaultFolder()
{
    static const std::wstring folder = L"C:\\Program Files\\Tarnwick\\";
    return folder;
}

MsiRun InstallPackage(const std::wstring& package, const std::wstring& properties)
{
    // Wine keeps no access lists and reports every folder as its user's, so
    // the check of the programs' folder would refuse every install: it is
    // switched off unless the test asks for it.
    const std::wstring folderCheck = properties.find(L"FOLDERCHECK=") == std::wstring::npos ? L" FOLDERCHECK=0" : L"";
    return RunMsiexec(L"/i \"" + package + L"\"" + (properties.empty() ? L"" : L" " + properties) + folderCheck);
}

MsiRun RemovePackage(const std::wstring& package)
{
    return RunMsiexec(L"/x \"" + package + L"\"");
}

MsiRun RepairPackage(const std::wstring& package, const std::wstring& mode, const std::wstring& properties)
{
    return InstallPackage(package, L"REINSTALL=ALL REINSTALLMODE=" + mode +
                                       (properties.empty() ? L"" : L" " + properties));
}

bool LogHas(const MsiRun& run, const std::string& text)
{
    return run.log.find(text) != std::string::npos;
}

const std::wstring& ServiceKey()
{
    static const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\TarnwickSvc";
    return key;
}

const std::wstring& DriverKey()
{
    static const std::wstring key = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr";
    return key;
}

std::wstring HotkeyKey(const std::wstring& name)
{
    return HotkeySubkey(name);
}

bool KeyExists(const std::wstring& path)
{
    return RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, path);
}

bool ReadString(const std::wstring& path, const wchar_t* name, std::wstring& value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, path, name, type, data) || type != REG_SZ) {
        return false;
    }
    value.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') {
        value.pop_back();
    }
    return true;
}

bool ReadDword(const std::wstring& path, const wchar_t* name, DWORD& value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, path, name, type, data) || type != REG_DWORD ||
        data.size() != sizeof(DWORD)) {
        return false;
    }
    memcpy(&value, data.data(), sizeof(DWORD));
    return true;
}

void WriteString(const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, path, name, value);
}

void WriteDword(const std::wstring& path, const wchar_t* name, DWORD value)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, path, name, value);
}

KeyDump DumpKey(const std::wstring& path)
{
    return RegistrySandbox::Dump(HKEY_LOCAL_MACHINE, path);
}

void SetUpDriver()
{
    WriteDword(DriverKey(), L"Type", SERVICE_KERNEL_DRIVER);
    WriteDword(HotkeyKey(L"LWin+L"), L"Block", 1);
    WriteDword(HotkeyKey(L"RWin+L"), L"BlockLocal", 1);
    WriteString(HotkeyKey(kOwnHotkey), L"run", kOwnCommand);
}

void ExpectAdministratorValuesKept()
{
    DWORD value = 0;
    EXPECT_TRUE(ReadDword(HotkeyKey(L"LWin+L"), L"Block", value) && value == 1) << "LWin+L's Block";
    EXPECT_TRUE(ReadDword(HotkeyKey(L"RWin+L"), L"BlockLocal", value) && value == 1) << "RWin+L's BlockLocal";
    std::wstring run;
    EXPECT_TRUE(ReadString(HotkeyKey(kOwnHotkey), L"run", run) && run == kOwnCommand)
        << "the administrator's own hotkey: " << Narrow(run);
    EXPECT_TRUE(ReadDword(DriverKey(), L"Type", value) && value == SERVICE_KERNEL_DRIVER) << "the driver's key";
}

void ExpectAgentRunValues(const std::wstring& folder)
{
    for (const wchar_t* hotkey : kAgentHotkeys) {
        std::wstring run;
        EXPECT_TRUE(ReadString(HotkeyKey(hotkey), L"run", run)) << Narrow(hotkey) << " has no REG_SZ run";
        EXPECT_EQ(Narrow(run), Narrow(L"\"" + folder + L"TarnwickAgent.exe\"")) << Narrow(hotkey);
    }
}

void ExpectNoAgentRunValues()
{
    for (const wchar_t* hotkey : kAgentHotkeys) {
        DWORD type = 0;
        std::vector<BYTE> data;
        EXPECT_FALSE(RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, HotkeyKey(hotkey), L"run", type, data))
            << Narrow(hotkey) << " has a run value";
    }
}

ServiceState QueryTarnwickService()
{
    ServiceState result;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        ADD_FAILURE() << "the service manager cannot be opened: " << GetLastError();
        return result;
    }
    SC_HANDLE service = OpenServiceW(manager, L"TarnwickSvc", SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        result.registered = true;
        SERVICE_STATUS_PROCESS status = {};
        DWORD needed = 0;
        WaitUntil([&] {
            if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                      sizeof(status), &needed)) {
                return true;
            }
            return status.dwCurrentState != SERVICE_START_PENDING && status.dwCurrentState != SERVICE_STOP_PENDING;
        });
        result.state = status.dwCurrentState;
        result.exitCode = status.dwWin32ExitCode;
        result.processId = status.dwProcessId;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return result;
}

std::wstring FindRegisteredProgram()
{
    std::wstring path;
    ReadString(ServiceKey(), L"ImagePath", path);
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        path = path.substr(1, path.size() - 2);
    }
    return path;
}

bool ProcessRunning(const wchar_t* fileName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "no process snapshot: " << GetLastError();
        return false;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        found = lstrcmpiW(entry.szExeFile, fileName) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

const std::vector<std::wstring>& ShippedPrograms()
{
    static const std::vector<std::wstring> programs = {L"TarnwickSvc.exe", L"TarnwickAgent.exe", L"TarnwickCtl.exe"};
    return programs;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FileVersionOf(const std::wstring& path)
{
    return Narrow(ReadVersionResource(path).fileVersion);
}

std::string SoftwareSasPolicy()
{
    const std::wstring path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    DWORD value = 0;
    if (ReadDword(path, L"SoftwareSASGeneration", value)) {
        return "REG_DWORD " + std::to_string(value);
    }
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, path, L"SoftwareSASGeneration", type, data)) {
        return "type " + std::to_string(type);
    }
    return "absent";
}

void SetSoftwareSasPolicy(DWORD value)
{
    WriteDword(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", L"SoftwareSASGeneration", value);
}
