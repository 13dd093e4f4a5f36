// The real TarnwickCtl watch with fake remote-desktop clients brought to the
// front in turn: its lines name each client and what a press would do, it
// posts nothing into them, and with "BlockLocal" = 1 and no client in front
// its line says blocked. Takes the foreground and the machine's hotkey key:
// LOCK.
#include "common/handles.h"
#include "tests/agent/fake_client_session.h"
#include "tests/support/narrow_text.h"
#include "tests/support/machine_registry.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A program whose output goes to a file, while it runs.
class RunningProgram {
public:
    RunningProgram(const std::wstring& commandLine, const std::wstring& outputFile) : outputFile_(outputFile)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        KHandle output(CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   CREATE_ALWAYS, 0, nullptr));
        EXPECT_NE(output.get(), INVALID_HANDLE_VALUE);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
        std::wstring buffer = commandLine;
        EXPECT_TRUE(CreateProcessW(nullptr, &buffer[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                   &process_))
            << GetLastError();
    }
    ~RunningProgram()
    {
        if (process_.hProcess != nullptr) {
            TerminateProcess(process_.hProcess, 0xDEAD);
            WaitForSingleObject(process_.hProcess, 5000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    std::wstring Output() const { return ReadTextFile(outputFile_); }

    // Waits until the output holds `text`.
    bool WaitForOutput(const std::wstring& text) const
    {
        return WaitUntil([&] { return Output().find(text) != std::wstring::npos; }, 30000);
    }

    // Waits for the exit; the exit code, or 0xDEAD when it did not end.
    DWORD Wait(DWORD timeoutMs)
    {
        DWORD code = 0xDEAD;
        if (WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process_.hProcess, &code);
        }
        return code;
    }

private:
    std::wstring outputFile_;
    PROCESS_INFORMATION process_ = {};
};

TEST(CtlWatchProgram, NamesEachClientInFrontAndWhatAPressWouldDo)
{
    const MachineHotkeys hotkeys;
    const ScratchMachineKey clients(L"SOFTWARE\\Policies\\Tarnwick\\Clients");
    clients.SetString(L"msrdc.exe", L"like=mstsc.exe");
    for (const wchar_t* hotkey : {L"LWin+L", L"RWin+L", L"ctrl+alt+del"}) {
        MachineHotkeys::SetDword(hotkey, L"BlockLocal", 1);
    }
    const std::wstring folder = MakeScratchDir(L"watch");
    const std::wstring outputFile = folder + L"\\watch.txt";
    {
        RunningProgram watch(L"\"" + BinPath(L"TarnwickCtl.exe") + L"\" watch --seconds 25", outputFile);
        ASSERT_TRUE(watch.WaitForOutput(L"\n")) << "no first line";

        struct Client {
            const wchar_t* exe;
            const wchar_t* tree;
            const wchar_t* line;
        } const clients[] = {
            {L"mstsc.exe", L"--tree mstsc",
             L"mstsc.exe: client Microsoft Remote Desktop (mstsc.exe), key window found, command window found; "
             L"Win+L: forward into mstsc.exe; Ctrl+Alt+Del: forward into mstsc.exe\n"},
            {L"wfica32.exe", L"--tree wfica32",
             L"wfica32.exe: client Citrix (wfica32.exe), key window found, command window found; Win+L: forward "
             L"into wfica32.exe; Ctrl+Alt+Del: forward into wfica32.exe\n"},
            {L"msrdc.exe", L"--tree mstsc",
             L"msrdc.exe: client msrdc.exe (policy: like mstsc.exe), key window found, command window found; "
             L"Win+L: forward into msrdc.exe; Ctrl+Alt+Del: forward into msrdc.exe\n"},
            {L"vmware-view.exe", L"--tree plain",
             L"vmware-view.exe: client VMware Horizon (vmware-view.exe), key window not found, command window "
             L"found; Win+L: nothing, the client's key window was not found; Ctrl+Alt+Del: forward into "
             L"vmware-view.exe\n"},
        };
        std::vector<std::unique_ptr<FakeClientSession>> sessions;
        for (const Client& client : clients) {
            sessions.push_back(std::make_unique<FakeClientSession>(client.exe, client.tree));
            ASSERT_TRUE(sessions.back()->Ready());
            EXPECT_TRUE(watch.WaitForOutput(client.line)) << Narrow(watch.Output());
            // Watching posts and synthesises nothing.
            EXPECT_TRUE(sessions.back()->RecordsAfterFence().empty());
        }
        sessions.clear();
        EXPECT_TRUE(watch.WaitForOutput(L": no remote-desktop client; Win+L: blocked by \"BlockLocal\"; "
                                        L"Ctrl+Alt+Del: blocked by \"BlockLocal\"\n"))
            << Narrow(watch.Output());
        EXPECT_EQ(watch.Wait(40000), 0u) << "ends after its seconds with exit code 0";
    }
    DeleteFileW(outputFile.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
