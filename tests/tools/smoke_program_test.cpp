// The real TarnwickSmoke.exe against the real TarnwickSvc.exe under Wine's
// service manager, registered as an ordinary own-process service (as Windows
// 8 and later run every service), with the hotkeys configured by the real
// TarnwickCtl.exe: the run a tester makes on a PC. These tests change the
// machine's service database, its hotkey key, the foreground and named
// objects, so they run alone (LOCK) and undo what they did.
#include "tests/support/machine_registry.h"
#include "tests/support/narrow_text.h"
#include "tests/support/test_programs.h"
#include "tests/support/test_service.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kTestService = L"TarnwickSvcSmoke";
constexpr const wchar_t* kDriverKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr";
constexpr const wchar_t* kHotkeyKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey";
const wchar_t* const kHotkeys[] = {L"LWin+L", L"ctrl+alt+del"};

RunResult RunTool(const std::wstring& arguments)
{
    return RunProgram(L"\"" + BinPath(L"TarnwickCtl.exe") + L"\" " + arguments);
}

RunResult RunSmoke()
{
    return RunProgram(L"\"" + BinPath(L"TarnwickSmoke.exe") + L"\" --service " + kTestService, 180000);
}

bool KeyExists(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The folders that runs of TarnwickSmoke make in the temporary folder.
std::set<std::wstring> SmokeFolders()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::set<std::wstring> folders;
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW((std::wstring(temp, length) + L"TarnwickSmoke-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return folders;
    }
    do {
        folders.insert(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return folders;
}

bool HasLine(const std::string& output, const std::string& start)
{
    return output.compare(0, start.size(), start) == 0 || output.find("\n" + start) != std::string::npos;
}

class SmokeProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        driverKeyExisted_ = KeyExists(kDriverKey);
        hotkeyKeyExisted_ = KeyExists(kHotkeyKey);
        for (const wchar_t* name : kHotkeys) {
            ASSERT_FALSE(KeyExists(std::wstring(kHotkeyKey) + L"\\" + name))
                << "a hotkey of this test is configured already";
        }
        foldersBefore_ = SmokeFolders();
    }

    void TearDown() override
    {
        service_.Remove();
        for (const std::wstring& name : configured_) {
            RunTool(L"remove " + name);
        }
        if (!hotkeyKeyExisted_) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kHotkeyKey);  // only when empty
        }
        if (!driverKeyExisted_) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDriverKey);
        }
        for (const std::wstring& record : records_) {
            DeleteFileW(record.c_str());
        }
        if (!scratch_.empty()) {
            RemoveDirectoryW(scratch_.c_str());
        }
    }

    // Configures a hotkey with TarnwickCtl; TearDown removes it.
    void ConfigureHotkey(const std::wstring& name, const std::wstring& run)
    {
        configured_.push_back(name);
        const RunResult tool = RunTool(L"set " + name + L" --run " + QuoteArgument(run));
        ASSERT_EQ(tool.exitCode, 0u) << tool.output;
    }

    // A file for a probe's record; TearDown deletes it.
    std::wstring Record(const std::wstring& name)
    {
        if (scratch_.empty()) {
            scratch_ = MakeScratchDir(L"smoke program");
        }
        records_.push_back(scratch_ + L"\\" + name);
        return records_.back();
    }

    ConsoleLockPolicy savedPolicy_;  // the running service sets it to 1
    TestService service_{kTestService};
    bool driverKeyExisted_ = false;
    bool hotkeyKeyExisted_ = false;
    std::vector<std::wstring> configured_;
    std::set<std::wstring> foldersBefore_;
    std::wstring scratch_;
    std::vector<std::wstring> records_;
};

TEST_F(SmokeProgram, PassesEveryStepThroughTheServiceAndTheAgentAndLeavesNothingBehind)
{
    for (const wchar_t* name : kHotkeys) {
        ConfigureHotkey(name, L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"");
    }
    const SERVICE_STATUS_PROCESS started = service_.Start();
    ASSERT_EQ(started.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING)) << "exit code " << started.dwWin32ExitCode;

    const RunResult run = RunSmoke();

    ASSERT_TRUE(run.finished) << run.output;
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    for (const char* line : {"PASS service: the service TarnwickSvcSmoke is running\n", "PASS hotkey LWin+L: ",
                             "PASS hotkey ctrl+alt+del: ", "PASS client: ", "PASS Win+L: ", "PASS Ctrl+Alt+Del: ",
                             "PASS clean-up: ", "RESULT: PASS (7 steps passed)\n"}) {
        EXPECT_TRUE(HasLine(run.output, line)) << line << "\n" << run.output;
    }
    EXPECT_EQ(SmokeFolders(), foldersBefore_) << "a folder of the client is left in the temporary folder";
    EXPECT_EQ(service_.Stop().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

// With hotkeys that run another program, TarnwickSmoke stops before it
// starts its client, and presses nothing: the probe that either hotkey
// starts records no start, until TarnwickCtl presses one.
TEST_F(SmokeProgram, FailsAndPressesNothingWhenTheHotkeysDoNotRunTheAgent)
{
    std::vector<std::wstring> records;
    for (const wchar_t* name : kHotkeys) {
        records.push_back(Record(std::wstring(name == kHotkeys[0] ? L"lock" : L"sas") + L".txt"));
        ConfigureHotkey(name, L"\"" + BinPath(L"probe.exe") + L"\" \"" + records.back() + L"\"");
    }
    const SERVICE_STATUS_PROCESS started = service_.Start();
    ASSERT_EQ(started.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING)) << "exit code " << started.dwWin32ExitCode;

    const RunResult run = RunSmoke();

    ASSERT_TRUE(run.finished) << run.output;
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    for (const char* line : {"PASS service: ", "FAIL hotkey LWin+L: the hotkey \"LWin+L\" runs ",
                             "FAIL hotkey ctrl+alt+del: the hotkey \"ctrl+alt+del\" runs ", "SKIP client: ",
                             "SKIP Win+L: ", "SKIP Ctrl+Alt+Del: ", "RESULT: FAIL (2 failed, 3 not run, 1 passed)\n"}) {
        EXPECT_TRUE(HasLine(run.output, line)) << line << "\n" << run.output;
    }
    Sleep(2000);  // a press would have started a probe by now
    for (const std::wstring& record : records) {
        EXPECT_FALSE(FileExists(record)) << "pressed: " << Narrow(record);
    }
    EXPECT_EQ(SmokeFolders(), foldersBefore_);

    const RunResult press = RunTool(L"press LWin+L");
    ASSERT_EQ(press.exitCode, 0u) << press.output;
    EXPECT_TRUE(WaitUntil([&] { return FileExists(records[0]); }, 30000)) << "a press starts the probe";
    EXPECT_EQ(service_.Stop().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

}  // namespace
