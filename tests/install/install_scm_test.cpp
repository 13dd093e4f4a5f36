// "/install" and "/Uninstall" against Wine's service manager, run as the real
// program (and in this process, where what Wine lacks has to stand in: the
// access lists of the program's folders for "/install", the list of active
// dependants for "/Uninstall"). The service name is machine-wide: these cases hold the
// machine lock, and every case leaves no service, hotkey key or changed lock
// policy behind, also when it fails.
#include "service/install.h"
#include "tests/support/fake_service_manager.h"
#include "tests/install/install_as.h"
#include "tests/support/machine_registry.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <vector>

namespace {

const wchar_t kService[] = L"TarnwickSvc";
const wchar_t kDependent[] = L"TarnwickTestDependent";
const wchar_t kServiceKey[] = L"System\\CurrentControlSet\\Services\\TarnwickSvc";
const wchar_t kDriverKey[] = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr";
const wchar_t kHotkeyKey[] = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\TarnwickInstallTest";
constexpr DWORD kMinusOne = 0xFFFFFFFF;

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE h) : handle(h) {}
    ~ScHandle()
    {
        if (handle != nullptr) {
            CloseServiceHandle(handle);
        }
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    explicit operator bool() const { return handle != nullptr; }
    SC_HANDLE handle;
};

bool ServiceExists(const wchar_t* name)
{
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ScHandle service(OpenServiceW(manager.handle, name, SERVICE_QUERY_STATUS));
    return static_cast<bool>(service);
}

// The service's status, or false when it cannot be queried.
bool QueryStatus(const wchar_t* name, SERVICE_STATUS_PROCESS& status)
{
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ScHandle service(OpenServiceW(manager.handle, name, SERVICE_QUERY_STATUS));
    DWORD needed = 0;
    return service && QueryServiceStatusEx(service.handle, SC_STATUS_PROCESS_INFO,
                                           reinterpret_cast<BYTE*>(&status), sizeof(status), &needed);
}

DWORD StateOf(const wchar_t* name)
{
    SERVICE_STATUS_PROCESS status = {};
    return QueryStatus(name, status) ? status.dwCurrentState : 0;
}

// Starts a service and waits until it runs (the start returns while it is
// still pending).
void StartAndWaitUntilRunning(const wchar_t* name)
{
    {
        ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        ScHandle service(OpenServiceW(manager.handle, name, SERVICE_START));
        ASSERT_TRUE(service) << "error " << GetLastError();
        ASSERT_TRUE(StartServiceW(service.handle, 0, nullptr)) << "error " << GetLastError();
    }
    ASSERT_TRUE(WaitUntil([&] { return StateOf(name) == SERVICE_RUNNING; }));
}

// Stops (if it runs) and deletes a service, and waits until it is gone.
void StopAndDelete(const wchar_t* name)
{
    {
        ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ScHandle service(OpenServiceW(manager.handle, name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
        if (!service) {
            return;
        }
        SERVICE_STATUS status = {};
        ControlService(service.handle, SERVICE_CONTROL_STOP, &status);
        WaitUntil([&] { return StateOf(name) == SERVICE_STOPPED; });
        DeleteService(service.handle);
    }
    EXPECT_TRUE(WaitUntil([&] { return !ServiceExists(name); })) << "could not remove a test service";
}

// Registers test_service.exe as a service that depends on TarnwickSvc.
void RegisterDependent()
{
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    const std::wstring path = L"\"" + BinPath(L"test_service.exe") + L"\"";
    const wchar_t dependencies[] = L"TarnwickSvc\0";
    ScHandle service(CreateServiceW(manager.handle, kDependent, kDependent, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                    path.c_str(), nullptr, nullptr, dependencies, nullptr, nullptr));
    ASSERT_TRUE(service) << "error " << GetLastError();
}

// Whether the service `name` is configured to depend on `on`. Wine's
// QueryServiceConfigW leaves the dependencies out, so they are read where the
// service manager keeps them.
bool DependsOn(const wchar_t* name, const wchar_t* on)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, std::wstring(L"System\\CurrentControlSet\\Services\\") + name,
                                   L"DependOnService", type, data) ||
        type != REG_MULTI_SZ) {
        return false;
    }
    data.resize(data.size() + 2 * sizeof(wchar_t), 0);  // terminated in any case
    for (auto* d = reinterpret_cast<const wchar_t*>(data.data()); *d != L'\0'; d += wcslen(d) + 1) {
        if (_wcsicmp(d, on) == 0) {
            return true;
        }
    }
    return false;
}

// Wine answers EnumDependentServicesW with "none", always. This stands in for
// it: the active services whose configured dependencies name `service`, as
// the service manager reports them.
BOOL ActiveDependantsOf(const wchar_t* service, LPENUM_SERVICE_STATUSW buffer, DWORD size, LPDWORD needed,
                        LPDWORD count)
{
    std::vector<std::wstring> names;
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    DWORD bytes = 0;
    DWORD returned = 0;
    DWORD resume = 0;
    EnumServicesStatusExW(manager.handle, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, nullptr, 0, &bytes,
                          &returned, &resume, nullptr);
    std::vector<BYTE> list(bytes);
    resume = 0;
    if (bytes != 0 && EnumServicesStatusExW(manager.handle, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
                                            list.data(), bytes, &bytes, &returned, &resume, nullptr)) {
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(list.data());
        for (DWORD i = 0; i < returned; ++i) {
            if (DependsOn(entries[i].lpServiceName, service)) {
                names.push_back(entries[i].lpServiceName);
            }
        }
    }
    return AnswerDependentServices(names, buffer, size, needed, count);
}

RunResult RunSvc(const std::wstring& program, const std::wstring& arguments)
{
    return RunProgram(L"\"" + program + L"\" " + arguments);
}

std::wstring LongPath(const std::wstring& path)
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    return length == 0 ? path : std::wstring(buffer.data(), length);
}

// The values of the service's registry key that the registration sets.
using Registration = std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>;

Registration ReadRegistration()
{
    Registration values;
    for (const wchar_t* name : {L"Type", L"Start", L"ErrorControl", L"ObjectName", L"DisplayName", L"ImagePath",
                                L"DependOnService", L"Group"}) {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, kServiceKey, name, type, data)) {
            values[name] = {type, data};
        }
    }
    return values;
}

DWORD DwordOf(const Registration& values, const wchar_t* name)
{
    const auto found = values.find(name);
    if (found == values.end() || found->second.first != REG_DWORD || found->second.second.size() != 4) {
        ADD_FAILURE() << "no DWORD value";
        return 0xBAD;
    }
    DWORD value = 0;
    memcpy(&value, found->second.second.data(), sizeof(value));
    return value;
}

std::wstring StringOf(const Registration& values, const wchar_t* name)
{
    const auto found = values.find(name);
    if (found == values.end() || (found->second.first != REG_SZ && found->second.first != REG_EXPAND_SZ)) {
        ADD_FAILURE() << "no string value";
        return L"";
    }
    const std::vector<BYTE>& data = found->second.second;
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

std::wstring ProcessImage(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return L"";
    }
    std::vector<wchar_t> buffer(32768);
    DWORD size = static_cast<DWORD>(buffer.size());
    const BOOL ok = QueryFullProcessImageNameW(process, 0, buffer.data(), &size);
    CloseHandle(process);
    return ok ? std::wstring(buffer.data(), size) : L"";
}

class InstallWithServiceManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTestServices();  // left by an earlier run that was killed
        hadDriverKey = RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, kDriverKey);

        directory = MakeScratchDir(L"install dir");
        program = directory + L"\\TarnwickSvc.exe";
        CopyFileOrFail(BinPath(L"TarnwickSvc.exe"), program);
    }

    void TearDown() override
    {
        RemoveTestServices();
        if (!hadDriverKey) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, kDriverKey);
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDriverKey);
        } else {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, kHotkeyKey);
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kHotkeyKey);
        }
        // The stopped service's process may hold its file for a moment.
        WaitUntil([&] { return DeleteFileW(program.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; }, 5000);
        RemoveDirectoryW(directory.c_str());
    }

    static void RemoveTestServices()
    {
        StopAndDelete(kDependent);
        StopAndDelete(kService);
    }

    // One hotkey with an empty command: enough for the service to start.
    static void ConfigureHotkey() { RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kHotkeyKey, L"run", L""); }

    ConsoleLockPolicy savedPolicy;  // put back after the services are gone
    bool hadDriverKey = false;
    std::wstring directory;
    std::wstring program;
};

TEST_F(InstallWithServiceManager, InstallRegistersTheQuotedLongPathAndASecondInstallChangesNothing)
{
    ASSERT_EQ(RunCommandLineModeAs(program, L"/install"), 0);

    const Registration registered = ReadRegistration();
    EXPECT_EQ(DwordOf(registered, L"Type"), 0x110u);
    EXPECT_EQ(DwordOf(registered, L"Start"), static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(DwordOf(registered, L"ErrorControl"), static_cast<DWORD>(SERVICE_ERROR_IGNORE));
    if (registered.count(L"ObjectName") != 0) {
        EXPECT_EQ(StringOf(registered, L"ObjectName"), L"LocalSystem");
    }
    EXPECT_EQ(StringOf(registered, L"DisplayName"), L"Tarnwick Service");
    const std::wstring longPath = LongPath(program);
    EXPECT_NE(longPath.find(L"install dir"), std::wstring::npos);
    EXPECT_EQ(StringOf(registered, L"ImagePath"), L"\"" + longPath + L"\"");
    EXPECT_EQ(registered.count(L"DependOnService"), 0u);
    EXPECT_EQ(StateOf(kService), static_cast<DWORD>(SERVICE_STOPPED)) << "installing does not start it";

    // Again, from another copy of the program: refused, and the registration
    // still names the first copy.
    EXPECT_EQ(RunCommandLineModeAs(BinPath(L"TarnwickSvc.exe"), L"/install"), -1);
    EXPECT_EQ(ReadRegistration(), registered);
}

// The real program, in a folder that Wine reports as its user's, who may do
// anything with it (Wine keeps no access lists): not registered, as Windows
// would not register a program in a folder that a user owns.
TEST_F(InstallWithServiceManager, TheRealProgramRegistersNothingFromAFolderThatAUserMayChange)
{
    const RunResult install = RunSvc(program, L"/install");
    ASSERT_TRUE(install.finished);
    EXPECT_EQ(install.exitCode, kMinusOne);
    EXPECT_EQ(install.output, "");
    EXPECT_FALSE(ServiceExists(kService));
}

TEST_F(InstallWithServiceManager, SwitchesInOtherLetterCaseActAlike)
{
    EXPECT_EQ(RunCommandLineModeAs(program, L"/INSTALL"), 0);
    EXPECT_TRUE(ServiceExists(kService));

    ConfigureHotkey();
    ASSERT_NO_FATAL_FAILURE(StartAndWaitUntilRunning(kService));
    DWORD policy = 0;
    EXPECT_TRUE(WaitUntil([&] { return ReadLockPolicy(policy) && policy == 1; }));

    const RunResult uninstall = RunSvc(program, L"/uninstall");
    ASSERT_TRUE(uninstall.finished);
    EXPECT_EQ(uninstall.exitCode, 0u);
    EXPECT_TRUE(WaitUntil([] { return !ServiceExists(kService); }));
    ASSERT_TRUE(ReadLockPolicy(policy));
    EXPECT_EQ(policy, 0u);
}

TEST_F(InstallWithServiceManager, UninstallStopsTheRunningServiceAndItsDependantDeletesItAndUnlocksTheUser)
{
    ASSERT_EQ(RunCommandLineModeAs(program, L"/install"), 0);
    ConfigureHotkey();
    RegisterDependent();
    ASSERT_NO_FATAL_FAILURE(StartAndWaitUntilRunning(kService));
    ASSERT_NO_FATAL_FAILURE(StartAndWaitUntilRunning(kDependent));

    // The registered path started that very file, and the running service
    // has set the console user's lock policy.
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_TRUE(QueryStatus(kService, status));
    EXPECT_EQ(LongPath(ProcessImage(status.dwProcessId)), LongPath(program));
    DWORD policy = 0;
    EXPECT_TRUE(WaitUntil([&] { return ReadLockPolicy(policy) && policy == 1; }));

    {
        // In this process, so that the one call Wine lacks can stand in;
        // everything else is Wine's service manager.
        KWin32Override api;
        int enumerations = 0;
        win32.EnumDependentServicesW = [&](SC_HANDLE, DWORD state, LPENUM_SERVICE_STATUSW buffer, DWORD size,
                                           LPDWORD needed, LPDWORD count) {
            ++enumerations;
            EXPECT_EQ(state, static_cast<DWORD>(SERVICE_ACTIVE));
            return ActiveDependantsOf(kService, buffer, size, needed, count);
        };
        EXPECT_EQ(RunCommandLineMode(L"/Uninstall"), 0);
        EXPECT_EQ(enumerations, 2) << "the running dependant is sized and listed";
    }

    EXPECT_EQ(StateOf(kDependent), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(WaitUntil([] { return !ServiceExists(kService); }));
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, kServiceKey));
    ASSERT_TRUE(ReadLockPolicy(policy));
    EXPECT_EQ(policy, 0u);

    const RunResult again = RunSvc(program, L"/Uninstall");
    ASSERT_TRUE(again.finished);
    EXPECT_EQ(again.exitCode, kMinusOne);
}

TEST_F(InstallWithServiceManager, TwoArgumentsStartTheDispatcherAndInstallNothing)
{
    const RunResult run = RunSvc(program, L"/install x");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
    EXPECT_FALSE(ServiceExists(kService));
}

}  // namespace
