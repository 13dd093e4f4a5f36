// The real TarnwickSvc.exe under Wine's service manager, configured and
// pressed with the real hotkeysim.exe, starting the real probe.exe. These
// tests change the machine's service database, its registry and named
// objects, so they run alone (LOCK) and undo what they did.
#include "handles.h"
#include "lock_policy.h"
#include "test_programs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr const wchar_t* kTestService = L"TarnwickSvcEndToEnd";
constexpr const wchar_t* kHotkey = L"E2E+P";
constexpr const wchar_t* kDriverKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr";
constexpr const wchar_t* kHotkeyKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey";

// One argument for a program's command line, quoted so that the program's
// argument parsing gives back exactly `text`.
std::wstring QuoteArgument(const std::wstring& text)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : text) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

RunResult RunTool(const std::wstring& arguments)
{
    return RunProgram(L"\"" + BinPath(L"hotkeysim.exe") + L"\" " + arguments);
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

SERVICE_STATUS_PROCESS QueryStatus(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                         &needed);
    return status;
}

// Waits until the service is in `state` or has stopped; returns its status.
SERVICE_STATUS_PROCESS WaitForState(SC_HANDLE service, DWORD state)
{
    SERVICE_STATUS_PROCESS status = {};
    WaitUntil(
        [&] {
            status = QueryStatus(service);
            return status.dwCurrentState == state || status.dwCurrentState == SERVICE_STOPPED;
        },
        30000);
    return status;
}

// The console user's "DisableLockWorkstation", which the running service
// sets to 1: saved before a test and put back afterwards.
class SavedLockPolicy {
public:
    SavedLockPolicy()
    {
        std::wstring user;
        wchar_t sid[kSidStringChars] = {};
        if (GetConsoleUserName(user) && GetAccountSidString(user.c_str(), sid)) {
            path_ = std::wstring(sid) + L"\\" + kPolicySystemKey;
            DWORD size = sizeof(value_);
            existed_ = RegGetValueW(HKEY_USERS, path_.c_str(), kDisableLockWorkstation, RRF_RT_ANY, nullptr,
                                    &value_, &size) == ERROR_SUCCESS;
        }
    }
    ~SavedLockPolicy()
    {
        if (path_.empty()) {
            return;
        }
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_USERS, path_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            if (existed_) {
                RegSetValueExW(key, kDisableLockWorkstation, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value_),
                               sizeof(value_));
            } else {
                RegDeleteValueW(key, kDisableLockWorkstation);
            }
            RegCloseKey(key);
        }
    }

private:
    std::wstring path_;
    bool existed_ = false;
    DWORD value_ = 0;
};

class ServiceEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager_.handle = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_TRUE(manager_) << GetLastError();
        RemoveTestService();  // left over from an interrupted run
        driverKeyExisted_ = KeyExists(kDriverKey);
        hotkeyKeyExisted_ = KeyExists(kHotkeyKey);
        ASSERT_FALSE(KeyExists((std::wstring(kHotkeyKey) + L"\\" + kHotkey).c_str()))
            << "a hotkey of this test is configured already";
    }

    void TearDown() override
    {
        RemoveTestService();
        RunTool(std::wstring(L"remove ") + kHotkey);
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

    // Registers TarnwickSvc.exe under the test's service name and starts it;
    // returns its status once it runs or has stopped.
    SERVICE_STATUS_PROCESS StartTestService()
    {
        const std::wstring binary = L"\"" + BinPath(L"TarnwickSvc.exe") + L"\"";
        service_.handle = CreateServiceW(manager_.get(), kTestService, kTestService, SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                         binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_TRUE(service_) << "CreateServiceW: " << GetLastError();
        if (!service_) {
            return SERVICE_STATUS_PROCESS{};
        }
        EXPECT_TRUE(StartServiceW(service_.get(), 0, nullptr)) << "StartServiceW: " << GetLastError();
        return WaitForState(service_.get(), SERVICE_RUNNING);
    }

    SERVICE_STATUS_PROCESS StopTestService()
    {
        SERVICE_STATUS status = {};
        EXPECT_TRUE(ControlService(service_.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
        return WaitForState(service_.get(), SERVICE_STOPPED);
    }

    void RemoveTestService()
    {
        service_.Close();
        KScHandle service(OpenServiceW(manager_.get(), kTestService, SERVICE_ALL_ACCESS));
        if (!service) {
            return;
        }
        if (QueryStatus(service.get()).dwCurrentState != SERVICE_STOPPED) {
            SERVICE_STATUS status = {};
            ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            WaitForState(service.get(), SERVICE_STOPPED);
        }
        DeleteService(service.get());
    }

    SavedLockPolicy savedPolicy_;
    KScHandle manager_;
    KScHandle service_;
    bool driverKeyExisted_ = false;
    bool hotkeyKeyExisted_ = false;
    std::wstring scratch_;
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
    ASSERT_NE(firstEnd, std::wstring::npos) << "record: " << std::string(text.begin(), text.end());
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

TEST(HotkeySimStatus, TellsWhetherTheLogonMarkerExists)
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
