// The real TarnwickSvc.exe under Wine's service manager, configured and
// pressed with the real TarnwickCtl.exe, starting the real probe.exe, or the
// real TarnwickAgent.exe with a fake remote-desktop client in front. These
// tests change the machine's service database, its registry and named
// objects, so they run alone (LOCK) and undo what they did.
#include "common/handles.h"
#include "tests/agent/fake_client_session.h"
#include "tests/support/machine_registry.h"
#include "tests/support/narrow_text.h"
#include "tests/support/test_programs.h"
#include "tests/support/test_service.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kTestService = L"TarnwickSvcEndToEnd";
constexpr const wchar_t* kHotkey = L"E2E+P";
constexpr const wchar_t* kDriverKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr";
constexpr const wchar_t* kHotkeyKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey";

RunResult RunTool(const std::wstring& arguments)
{
    return RunProgram(L"\"" + BinPath(L"TarnwickCtl.exe") + L"\" " + arguments);
}

bool KeyExists(const wchar_t* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

class ServiceEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        driverKeyExisted_ = KeyExists(kDriverKey);
        hotkeyKeyExisted_ = KeyExists(kHotkeyKey);
        for (const wchar_t* name : {kHotkey, L"LWin+L", L"ctrl+alt+del"}) {
            ASSERT_FALSE(KeyExists((std::wstring(kHotkeyKey) + L"\\" + name).c_str()))
                << "a hotkey of this test is configured already";
        }
    }

    // Configures a hotkey with TarnwickCtl; TearDown removes it.
    void ConfigureHotkey(const std::wstring& name, const std::wstring& run)
    {
        configured_.push_back(name);
        const RunResult tool = RunTool(L"set " + name + L" --run " + QuoteArgument(run));
        ASSERT_EQ(tool.exitCode, 0u) << tool.output;
    }

    void TearDown() override
    {
        service_.Remove();
        configured_.push_back(kHotkey);
        for (const std::wstring& name : configured_) {
            RunTool(L"remove " + name);
        }
        if (!hotkeyKeyExisted_) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kHotkeyKey);  // only when empty
        }
        if (!driverKeyExisted_) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDriverKey);
        }
        if (!scratch_.empty()) {
            DeleteFileW(Record().c_str());
            RemoveDirectoryW(scratch_.c_str());
        }
    }

    // The file into which the probe writes its record.
    std::wstring Record()
    {
        if (scratch_.empty()) {
            scratch_ = MakeScratchDir(L"end to end");
        }
        return scratch_ + L"\\record.txt";
    }

    SERVICE_STATUS_PROCESS StartTestService() { return service_.Start(); }
    // The type the test service is registered with.
    DWORD ServiceType()
    {
        DWORD needed = 0;
        QueryServiceConfigW(service_.Handle(), nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        return needed != 0 && QueryServiceConfigW(service_.Handle(), config, needed, &needed) ? config->dwServiceType
                                                                                              : 0;
    }
    SERVICE_STATUS_PROCESS StopTestService() { return service_.Stop(); }

    ConsoleLockPolicy savedPolicy_;  // the running service sets it to 1
    TestService service_{kTestService};
    bool driverKeyExisted_ = false;
    bool hotkeyKeyExisted_ = false;
    std::wstring scratch_;
    std::vector<std::wstring> configured_;
};

TEST_F(ServiceEndToEnd, APressedHotkeyStartsItsCommandWithTheNameInTheServicesDirectory)
{
    const std::wstring record = Record();
    const std::wstring run = L"\"" + BinPath(L"probe.exe") + L"\" \"" + record + L"\"";
    RunResult tool = RunTool(std::wstring(L"set ") + kHotkey + L" --run " + QuoteArgument(run));
    ASSERT_EQ(tool.exitCode, 0u) << tool.output;

    const SERVICE_STATUS_PROCESS started = StartTestService();
    ASSERT_EQ(started.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING))
        << "exit code " << started.dwWin32ExitCode;

    tool = RunTool(std::wstring(L"press ") + kHotkey);
    ASSERT_EQ(tool.exitCode, 0u) << tool.output;
    ASSERT_TRUE(WaitUntil([&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000))
        << "the probe did not run";
    const std::wstring text = ReadTextFile(record);
    const size_t firstEnd = text.find(L'\n');
    ASSERT_NE(firstEnd, std::wstring::npos) << "record: " << Narrow(text);
    EXPECT_EQ(text.substr(0, firstEnd), run + L" " + kHotkey);
    EXPECT_EQ(text.substr(firstEnd + 1), BinDir() + L"\n");

    const SERVICE_STATUS_PROCESS stopped = StopTestService();
    EXPECT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    tool = RunTool(std::wstring(L"press ") + kHotkey);
    EXPECT_EQ(tool.exitCode, 1u) << "the event is gone with the service: " << tool.output;
}

TEST_F(ServiceEndToEnd, AFaultyConfigurationStopsTheStartWithItsCause)
{
    const RunResult tool = RunTool(std::wstring(L"set-value ") + kHotkey + L" run REG_EXPAND_SZ x.exe");
    ASSERT_EQ(tool.exitCode, 0u) << tool.output;

    const SERVICE_STATUS_PROCESS status = StartTestService();

    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_BAD_CONFIGURATION));
}

bool LogonMarkerExists()
{
    KHandle marker(OpenEventW(SYNCHRONIZE, FALSE, L"ZQKBFiltrWinLogon"));
    return static_cast<bool>(marker);
}

// The marker, opened from this process by its bare name, is not signalled,
// and a signal stays in it (manual reset). The signal is taken out again.
void ExpectANonSignalledManualResetMarker()
{
    KHandle marker(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, L"ZQKBFiltrWinLogon"));
    ASSERT_TRUE(marker) << GetLastError();
    EXPECT_EQ(WaitForSingleObject(marker.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "not signalled";
    ASSERT_TRUE(SetEvent(marker.get()));
    EXPECT_EQ(WaitForSingleObject(marker.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(marker.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "manual reset";
    ResetEvent(marker.get());
}

// While it runs, the service keeps the console user's value at 1 and the
// logon marker in existence for other processes; a stop keeps the value.
TEST_F(ServiceEndToEnd, TheRunningServiceKeepsTheConsoleUsersLockPolicyAtOne)
{
    savedPolicy_.Set(0);
    ASSERT_FALSE(LogonMarkerExists());
    ConfigureHotkey(kHotkey, L"");

    const SERVICE_STATUS_PROCESS started = StartTestService();
    ASSERT_EQ(started.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(WaitUntil([&] { return savedPolicy_.Get() == 1; })) << "the value stayed " << savedPolicy_.Get();
    EXPECT_TRUE(LogonMarkerExists());
    ExpectANonSignalledManualResetMarker();
    const RunResult status = RunTool(L"status");
    EXPECT_NE(status.output.find("ZQKBFiltrWinLogon: exists\n"), std::string::npos) << status.output;

    EXPECT_EQ(StopTestService().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(savedPolicy_.Get(), 1);
    EXPECT_TRUE(WaitUntil([] { return !LogonMarkerExists(); })) << "the marker outlived the service";
}

// The access list of a named event, as "<SID string> <mask>" per ACE, with
// "protected" first when nothing is inherited.
std::vector<std::string> EventAccess(const std::wstring& name)
{
    KHandle event(OpenEventW(READ_CONTROL, FALSE, name.c_str()));
    EXPECT_TRUE(event) << "OpenEventW " << Narrow(name) << ": " << GetLastError();
    std::vector<std::string> entries;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!event || GetSecurityInfo(event.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &descriptor) != ERROR_SUCCESS) {
        return entries;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    if ((control & SE_DACL_PROTECTED) != 0) {
        entries.push_back("protected");
    }
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        GetAce(dacl, i, &ace);
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        wchar_t* sid = nullptr;
        ConvertSidToStringSidW(reinterpret_cast<PSID>(const_cast<DWORD*>(&allowed->SidStart)), &sid);
        char mask[16];
        std::snprintf(mask, sizeof(mask), "0x%lX", static_cast<unsigned long>(allowed->Mask));
        entries.push_back(std::string(allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow " : "other ") +
                          Narrow(sid != nullptr ? sid : L"?") + " " + mask);
        LocalFree(sid);
    }
    LocalFree(descriptor);
    return entries;
}

// An event that LocalSystem creates with the default security gives
// administrators no right to set it. The service's events let SYSTEM and
// Administrators set them and wait on them, and nobody else.
TEST_F(ServiceEndToEnd, TheServicesEventsLetSystemAndAdministratorsAloneUseThem)
{
    ConfigureHotkey(kHotkey, L"");
    ASSERT_EQ(StartTestService().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(WaitUntil(LogonMarkerExists));
    const std::vector<std::string> expected = {"protected", "allow S-1-5-18 0x1F0003", "allow S-1-5-32-544 0x1F0003"};
    EXPECT_EQ(EventAccess(L"ZQKBFiltr" + std::wstring(kHotkey)), expected);
    EXPECT_EQ(EventAccess(L"ZQKBFiltrWinLogon"), expected);
    EXPECT_EQ(StopTestService().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

// The whole road of a key press: the driver stand-in sets the hotkey's
// event, the service starts the agent, and the agent posts Win+L into the
// remote-desktop client in front of the user.
//
// The service is registered as an ordinary own-process service (0x10),
// which is how Windows 8 and later run every service, interactive flag or
// not: on a window station of its own. The client runs where a user's
// programs run, on WinSta0's default desktop, started by this test. The
// agent sees it in front only when the service starts the agent on that
// desktop; on the service's own station it would find no foreground window
// and take the local path instead.
TEST_F(ServiceEndToEnd, APressTravelsFromAnOrdinaryServiceThroughTheAgentIntoTheClientOnTheUsersDesktop)
{
    FakeClientSession client(L"mstsc.exe", L"--tree mstsc");
    ASSERT_TRUE(client.Ready());
    ConfigureHotkey(L"LWin+L", L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"");
    const SERVICE_STATUS_PROCESS started = StartTestService();
    ASSERT_EQ(started.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_EQ(ServiceType(), static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS)) << "registered without the flag";

    const RunResult press = RunTool(L"press LWin+L");
    ASSERT_EQ(press.exitCode, 0u) << press.output;

    // The agent runs on its own: wait until its four posts have arrived.
    std::vector<ClientRecord> records;
    WaitUntil([&] { return (records = client.RecordsAfterFence()).size() >= 4; }, 30000);
    std::vector<std::string> received;
    for (const ClientRecord& r : records) {
        char line[64];
        std::snprintf(line, sizeof(line), "%d %s 0x%llX 0x%08lX", r.window, Narrow(r.message).c_str(), r.wParam,
                      static_cast<unsigned long>(r.lParam));
        received.push_back(line);
    }
    // 'L' has the scan code 0x26 in Wine's keyboard layout; window 2 is the
    // "Input Capture Window".
    EXPECT_EQ(received, (std::vector<std::string>{
                            "2 WM_KEYDOWN 0x5B 0x015B0001",
                            "2 WM_KEYDOWN 0x4C 0x00260001",
                            "2 WM_KEYUP 0x4C 0xC0260001",
                            "2 WM_KEYUP 0x5B 0xC15B0001",
                        }));
    EXPECT_EQ(StopTestService().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

// A client that an administrator added by policy, under an executable name
// the table does not know, gets through service and agent exactly what
// mstsc.exe gets: Win+L posted into its "Input Capture Window", and
// Ctrl+Alt+End synthesised for Ctrl+Alt+Del.
TEST_F(ServiceEndToEnd, AClientAddedByPolicyGetsThroughServiceAndAgentWhatTheClientItIsLikeGets)
{
    const ScratchMachineKey clients(L"SOFTWARE\\Policies\\Tarnwick\\Clients");
    clients.SetString(L"msrdc.exe", L"like=mstsc.exe");

    FakeClientSession client(L"msrdc.exe", L"--tree mstsc");
    ASSERT_TRUE(client.Ready());
    ConfigureHotkey(L"LWin+L", L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"");
    ConfigureHotkey(L"ctrl+alt+del", L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"");
    ASSERT_EQ(StartTestService().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

    RunResult press = RunTool(L"press LWin+L");
    ASSERT_EQ(press.exitCode, 0u) << press.output;
    std::vector<ClientRecord> records;
    WaitUntil([&] { return (records = client.RecordsAfterFence()).size() >= 4; }, 30000);
    press = RunTool(L"press ctrl+alt+del");
    ASSERT_EQ(press.exitCode, 0u) << press.output;
    WaitUntil([&] { return (records = client.RecordsAfterFence()).size() >= 10; }, 30000);

    std::vector<std::string> received;
    for (const ClientRecord& r : records) {
        char line[64];
        // Posted keys with their whole lParam; synthesised ones (which Wine
        // delivers to the focused window, 0) by key and direction.
        if (r.window == 2) {
            std::snprintf(line, sizeof(line), "2 %s 0x%llX 0x%08lX", Narrow(r.message).c_str(), r.wParam,
                          static_cast<unsigned long>(r.lParam));
        } else {
            std::snprintf(line, sizeof(line), "%d %s 0x%llX", r.window,
                          (r.lParam & 0x80000000u) != 0 ? "release" : "press", r.wParam);
        }
        received.push_back(line);
    }
    EXPECT_EQ(received, (std::vector<std::string>{
                            "2 WM_KEYDOWN 0x5B 0x015B0001",
                            "2 WM_KEYDOWN 0x4C 0x00260001",
                            "2 WM_KEYUP 0x4C 0xC0260001",
                            "2 WM_KEYUP 0x5B 0xC15B0001",
                            "0 press 0x12",
                            "0 press 0x11",
                            "0 press 0x23",
                            "0 release 0x23",
                            "0 release 0x11",
                            "0 release 0x12",
                        }));
    EXPECT_EQ(StopTestService().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

constexpr const wchar_t* kPolicyKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const wchar_t* kSendSasRecord = L"SOFTWARE\\TarnwickTests\\SendSAS";

// The machine's "SoftwareSASGeneration": saved when constructed, put back
// (or removed again) when destroyed.
class SoftwareSasPolicy {
public:
    SoftwareSasPolicy()
    {
        DWORD size = sizeof(saved_);
        existed_ = RegGetValueW(HKEY_LOCAL_MACHINE, kPolicyKey, L"SoftwareSASGeneration", RRF_RT_REG_DWORD, nullptr,
                                &saved_, &size) == ERROR_SUCCESS;
    }
    ~SoftwareSasPolicy()
    {
        if (existed_) {
            Set(saved_);
        } else {
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, L"SoftwareSASGeneration");
        }
    }
    SoftwareSasPolicy(const SoftwareSasPolicy&) = delete;
    SoftwareSasPolicy& operator=(const SoftwareSasPolicy&) = delete;

    void Set(DWORD value) const
    {
        EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, L"SoftwareSASGeneration", REG_DWORD, &value,
                                  sizeof(value)),
                  ERROR_SUCCESS);
    }
    void Remove() const { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, L"SoftwareSASGeneration"); }

private:
    bool existed_ = false;
    DWORD saved_ = 0;
};

// What sas.dll of the tests, which stands in the prefix's system folder,
// recorded of its calls (tests/programs/sas_double); -1 for what it did not.
long long SendSasRecord(const wchar_t* name)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_LOCAL_MACHINE, kSendSasRecord, name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
                   ERROR_SUCCESS
               ? static_cast<long long>(value)
               : -1;
}

// A local Ctrl+Alt+Del, the whole road: the driver stand-in sets the event of
// "ctrl+alt+del", the service starts the agent, no client is in front, and
// the agent asks the service, which calls SendSAS(FALSE), once, of the
// sas.dll in the system folder, with the user's lock policy at 0 during the
// call and at 1 again afterwards. The service must be TarnwickSvc itself:
// that is the service the agent asks. It is registered as it registers
// itself, interactive: Wine then starts the agent on the user's window
// station, where it can read the input desktop ("Default", never "Winlogon"
// under Wine) and so keeps the value at 0 for its 200 polls, as it does on
// Windows until the secure desktop is up. (On the service's own station the
// input desktop cannot be read, the wait ends at once, and the value may be
// back at 1 before the service's worker has called SendSAS.)
TEST_F(ServiceEndToEnd, ALocalCtrlAltDelThroughServiceAndAgentCallsSendSasOnceWithFalse)
{
    SoftwareSasPolicy softwareSas;
    softwareSas.Set(1);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSendSasRecord);
    const std::wstring lockPolicyKey = ConsoleUserPolicyKey();
    ASSERT_FALSE(lockPolicyKey.empty());
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSendSasRecord, L"LockPolicyKey", REG_SZ, lockPolicyKey.c_str(),
                              static_cast<DWORD>((lockPolicyKey.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    savedPolicy_.Set(7);
    ConfigureHotkey(L"ctrl+alt+del", L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"");
    TestService tarnwick(L"TarnwickSvc", SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS);
    ASSERT_EQ(tarnwick.Start().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(WaitUntil([&] { return savedPolicy_.Get() == 1; })) << "the service holds the value at 1";

    const RunResult press = RunTool(L"press ctrl+alt+del");
    ASSERT_EQ(press.exitCode, 0u) << press.output;
    EXPECT_TRUE(WaitUntil([] { return SendSasRecord(L"Calls") >= 1; }, 30000)) << "SendSAS was not called";
    // The agent ends its sequence with the write of 1, after its wait.
    EXPECT_TRUE(WaitUntil([&] { return savedPolicy_.Get() == 1 && SendSasRecord(L"LockPolicyDuringCall") == 0; },
                          30000));
    EXPECT_EQ(SendSasRecord(L"Calls"), 1);
    EXPECT_EQ(SendSasRecord(L"AsUser"), 0) << "SendSAS(FALSE)";
    EXPECT_EQ(SendSasRecord(L"LockPolicyDuringCall"), 0) << "the value was 0 while SendSAS ran";

    // Without the policy the service takes no request: the control sent
    // straight to it (under Wine, ControlService reports it done whatever the
    // service answers) calls nothing.
    softwareSas.Remove();
    KScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    KScHandle service(OpenServiceW(manager.get(), L"TarnwickSvc", SERVICE_USER_DEFINED_CONTROL));
    ASSERT_TRUE(service) << GetLastError();
    SERVICE_STATUS status = {};
    ControlService(service.get(), 128, &status);
    Sleep(500);
    EXPECT_EQ(SendSasRecord(L"Calls"), 1);

    service.Close();
    manager.Close();
    EXPECT_EQ(tarnwick.Stop().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSendSasRecord);
}

TEST(CtlStatus, TellsWhetherTheLogonMarkerExists)
{
    HANDLE marker = CreateEventW(nullptr, TRUE, FALSE, L"ZQKBFiltrWinLogon");
    ASSERT_NE(marker, nullptr);
    RunResult run = RunTool(L"status");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("ZQKBFiltrWinLogon: exists\n"), std::string::npos) << run.output;
    CloseHandle(marker);

    run = RunTool(L"status");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("ZQKBFiltrWinLogon: absent\n"), std::string::npos) << run.output;
}

}  // namespace
