// TarnwickCtl with the real TarnwickSvc.exe under Wine's service manager: for
// each configuration, the exit code and verdict that the check predicts are
// what the service reports when it is started on it; a check while the
// service runs leaves a pending press pending and the registry as it was;
// status tells the service's state, exit code and program, and check and
// status whether others may change that program. The tests write the machine's hotkey key and register
// a service, so they run alone (LOCK) and undo what they did.
#include "tests/support/machine_registry.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/test_programs.h"
#include "tests/support/test_service.h"
#include "tests/tools/key_security.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kHotkeyKey = L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey";

struct Prediction {
    DWORD toolExitCode = 0;
    bool wouldStart = false;
    DWORD exitCode = 0;  // from the verdict
    std::string verdict;
    int errors = 0;
    std::string output;
};

RunResult RunCtl(const std::wstring& arguments)
{
    return RunProgram(L"\"" + BinPath(L"TarnwickCtl.exe") + L"\" " + arguments);
}

Prediction Check()
{
    const RunResult run = RunCtl(L"check");
    Prediction prediction;
    prediction.toolExitCode = run.exitCode;
    prediction.output = run.output;
    std::string text = run.output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    const size_t lineStart = text.find_last_of('\n');
    prediction.verdict = lineStart == std::string::npos ? text : text.substr(lineStart + 1);
    for (size_t at = 0; (at = run.output.find("error: ", at)) != std::string::npos; ++at) {
        prediction.errors += (at == 0 || run.output[at - 1] == '\n') ? 1 : 0;
    }
    const std::string refuse = "the service would refuse to start: exit code ";
    if (prediction.verdict.compare(0, refuse.size(), refuse) == 0) {
        prediction.exitCode = static_cast<DWORD>(std::stoul(prediction.verdict.substr(refuse.size())));
    } else {
        prediction.wouldStart = prediction.verdict.compare(0, 29, "the service would start with ") == 0;
    }
    return prediction;
}

class CtlWithTheService : public ::testing::Test {
protected:
    // Checks the configuration, starts the service on it, and compares.
    void ExpectTheServiceAgrees(const std::string& label)
    {
        SCOPED_TRACE(label);
        const Prediction prediction = Check();
        const SERVICE_STATUS_PROCESS status = service_.Start();
        const bool started = status.dwCurrentState == SERVICE_RUNNING;
        EXPECT_EQ(prediction.wouldStart, started)
            << prediction.output << "service exit code " << status.dwWin32ExitCode;
        EXPECT_EQ(prediction.toolExitCode, started ? 0u : 1u) << prediction.output;
        if (started) {
            EXPECT_EQ(prediction.errors, 0) << prediction.output;
            EXPECT_EQ(service_.Stop().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
        } else {
            EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
            EXPECT_EQ(prediction.exitCode, status.dwWin32ExitCode) << prediction.output;
            EXPECT_GE(prediction.errors, 1) << prediction.output;
        }
    }

    MachineHotkeys hotkeys_;
    ConsoleLockPolicy savedPolicy_;  // the running service sets it to 1
    TestService service_{L"TarnwickSvcCheck"};
};

struct Configuration {
    const char* label;
    std::function<void()> write;
};

TEST_F(CtlWithTheService, CheckPredictsTheExitCodeOfEveryRefusal)
{
    const std::vector<Configuration> configurations = {
        {"no hotkey key", [] {}},
        {"no subkeys", [] { MachineHotkeys::CreateKey(); }},
        {"64 hotkeys",
         [] {
             for (int i = 0; i < 64; ++i) {
                 MachineHotkeys::SetRun(L"K" + std::to_wstring(i), L"");
             }
         }},
        {"a name of 128 characters", [] { MachineHotkeys::SetRun(std::wstring(128, L'n'), L""); }},
        {"a name of 255 characters", [] { MachineHotkeys::SetRun(std::wstring(255, L'n'), L""); }},
        {"no run", [] { MachineHotkeys::SetValue(L"LWin+L", nullptr, 0, nullptr, 0); }},
        {"run REG_EXPAND_SZ", [] { MachineHotkeys::SetRun(L"LWin+L", L"x.exe", REG_EXPAND_SZ); }},
        {"run REG_DWORD", [] { MachineHotkeys::SetDword(L"LWin+L", L"run", 1); }},
        {"run of 520 characters", [] { MachineHotkeys::SetRun(L"LWin+L", std::wstring(520, L'x')); }},
        {"a fault after a good hotkey",
         [] {
             MachineHotkeys::SetRun(L"A", L"");
             MachineHotkeys::SetRun(L"B", L"x.exe", REG_BINARY);
         }},
    };
    for (const Configuration& configuration : configurations) {
        configuration.write();
        ExpectTheServiceAgrees(configuration.label);
        MachineHotkeys::Clear();
    }

    // A subkey that cannot be opened: the service reports that error.
    MachineHotkeys::SetRun(L"A", L"");
    MachineHotkeys::SetRun(L"B", L"");
    {
        const KeySecurity denied(HKEY_LOCAL_MACHINE, MachineHotkeys::Subkey(L"B"), L"D:(D;;KR;;;WD)(A;;KA;;;WD)");
        ExpectTheServiceAgrees("a subkey that cannot be opened");
    }
}

TEST_F(CtlWithTheService, CheckPredictsEveryStart)
{
    const std::wstring agent = L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"";
    const std::vector<Configuration> configurations = {
        {"the agent on its three hotkeys",
         [&] {
             for (const wchar_t* name : {L"LWin+L", L"RWin+L", L"ctrl+alt+del"}) {
                 MachineHotkeys::SetRun(name, agent);
             }
         }},
        {"63 hotkeys",
         [] {
             for (int i = 0; i < 63; ++i) {
                 MachineHotkeys::SetRun(L"K" + std::to_wstring(i), L"");
             }
         }},
        {"a name of 127 characters", [] { MachineHotkeys::SetRun(std::wstring(127, L'n'), L""); }},
        {"run of 519 characters", [] { MachineHotkeys::SetRun(L"LWin+L", std::wstring(519, L'x')); }},
        {"warnings only",
         [&] {
             MachineHotkeys::SetRun(L"LWin+L", L"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe");
             MachineHotkeys::SetRun(L"Win+L", agent);
             MachineHotkeys::SetRun(L"RWin+L", agent);
             MachineHotkeys::SetValue(L"RWin+L", L"Block", REG_SZ, L"1", 4);
             MachineHotkeys::SetValue(L"RWin+L", L"BlockLocal", REG_QWORD, "\1\0\0\0\0\0\0\0", 8);
             MachineHotkeys::SetDword(L"ctrl+alt+del", L"Block", 1);
             MachineHotkeys::SetRun(L"ctrl+alt+del", agent);
         }},
    };
    for (const Configuration& configuration : configurations) {
        configuration.write();
        ExpectTheServiceAgrees(configuration.label);
        MachineHotkeys::Clear();
    }
}

// Suspends or resumes every thread of a process.
void SuspendProcess(DWORD processId, bool suspend)
{
    KHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int threads = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != processId) {
            continue;
        }
        KHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
        ASSERT_TRUE(thread) << GetLastError();
        ASSERT_NE(suspend ? SuspendThread(thread.get()) : ResumeThread(thread.get()), static_cast<DWORD>(-1));
        ++threads;
    }
    EXPECT_GT(threads, 0);
}

TEST_F(CtlWithTheService, ACheckWhileTheServiceRunsLeavesAPendingPressPendingAndTheRegistryAsItWas)
{
    const std::wstring folder = MakeScratchDir(L"check");
    const std::wstring record = folder + L"\\record.txt";
    MachineHotkeys::SetRun(L"Check+Probe", L"\"" + BinPath(L"probe.exe") + L"\" \"" + record + L"\"");
    MachineHotkeys::SetRun(L"LWin+L", L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"");
    MachineHotkeys::SetDword(L"LWin+L", L"BlockLocal", 1);
    const SERVICE_STATUS_PROCESS started = service_.Start();
    ASSERT_EQ(started.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING)) << started.dwWin32ExitCode;

    // The service cannot serve the press while it is suspended: the press
    // stays pending in its event during the check.
    SuspendProcess(started.dwProcessId, true);
    const RunResult press = RunCtl(L"press Check+Probe");
    EXPECT_EQ(press.exitCode, 0u) << press.output;
    // With the keys' last write times: a value written again as it was shows.
    const KeyDump before = RegistrySandbox::Dump(HKEY_LOCAL_MACHINE, kHotkeyKey, true);
    const Prediction prediction = Check();
    EXPECT_TRUE(prediction.wouldStart) << prediction.output;
    EXPECT_EQ(RegistrySandbox::Dump(HKEY_LOCAL_MACHINE, kHotkeyKey, true), before);
    EXPECT_EQ(GetFileAttributesW(record.c_str()), INVALID_FILE_ATTRIBUTES) << "served while suspended";
    SuspendProcess(started.dwProcessId, false);

    EXPECT_TRUE(WaitUntil([&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000))
        << "the press was not served after the check";
    EXPECT_EQ(service_.Stop().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    DeleteFileW(record.c_str());
    RemoveDirectoryW(folder.c_str());
}

// status reads the service registered as TarnwickSvc, under that very name.
TEST_F(CtlWithTheService, StatusTellsTheStateTheExitCodeAndTheProgram)
{
    ASSERT_EQ(RunCtl(L"status").output.find("service TarnwickSvc: installed"), std::string::npos)
        << "TarnwickSvc is installed already";
    TestService tarnwick(L"TarnwickSvc");
    MachineHotkeys::SetValue(L"LWin+L", nullptr, 0, nullptr, 0);  // no "run"
    ASSERT_EQ(tarnwick.Start().dwWin32ExitCode, static_cast<DWORD>(ERROR_BAD_CONFIGURATION));
    RunResult run = RunCtl(L"status");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    const std::string program = "registered program: \"" + Narrow(BinPath(L"TarnwickSvc.exe")) + "\" (quoted)\n";
    EXPECT_NE(run.output.find("service TarnwickSvc: installed, stopped\nlast exit code: 1610 "
                              "(ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used): run "
                              "`TarnwickCtl check`\n" +
                              program),
              std::string::npos)
        << run.output;
    // Wine keeps no access lists and reports every file as its user's: the
    // registered program is not protected, and the check says what to do.
    EXPECT_NE(run.output.find(program + "service program: others may change it: " +
                              Narrow(BinPath(L"TarnwickSvc.exe")) + " ("),
              std::string::npos)
        << run.output;
    const RunResult check = RunCtl(L"check");
    EXPECT_NE(check.output.find("warning: the service's program " + Narrow(BinPath(L"TarnwickSvc.exe")) +
                                " is not protected: "),
              std::string::npos)
        << check.output;
    EXPECT_NE(check.output.find("owns it, and so may change its access list"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("icacls \"" + Narrow(BinDir()) + "\" /setowner"), std::string::npos) << check.output;

    MachineHotkeys::SetRun(L"LWin+L", L"");
    ASSERT_EQ(tarnwick.Start().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    run = RunCtl(L"status");
    EXPECT_NE(
        run.output.find("service TarnwickSvc: installed, running\nlast exit code: 0 (NO_ERROR: the service started, or "
                        "stopped normally)\n" +
                        program),
        std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("ZQKBFiltrWinLogon: exists\n"), std::string::npos) << run.output;
    EXPECT_EQ(tarnwick.Stop().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

}  // namespace
