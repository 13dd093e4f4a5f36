// TarnwickCtl check in this process, on configurations inside a
// RegistrySandbox: what it gathers from the registry and the file system,
// that its readings of "Block" and "BlockLocal" are the programs' own, and
// that it leaves events alone.
#include "agent/settings.h"
#include "common/driver_config.h"
#include "common/handles.h"
#include "common/software_sas.h"
#include "service/hotkey_config.h"
#include "tests/service/service_fakes.h"
#include "tests/support/fake_file_security.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/test_programs.h"
#include "tests/tools/ctl_run.h"
#include "tools/check/check.h"
#include "tools/check/check_text.h"
#include "tools/ctl.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class CtlCheck : public ::testing::Test {
protected:
    // A machine that lets services bring up the secure screen, whose folders
    // of programs only SYSTEM, Administrators and TrustedInstaller may
    // change (Wine reports every folder as its user's): the check warns
    // about nothing else.
    void SetUp() override
    {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration, 1);
    }

    static void Run(const std::wstring& hotkey, const std::wstring& run)
    {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(hotkey), L"run", run);
    }

    RegistrySandbox sandbox_;
    KWin32Override api_;
    FakeFileSecurity files_;
    const std::wstring agent_ = L"\"" + BinPath(L"TarnwickAgent.exe") + L"\"";
};

TEST_F(CtlCheck, ACleanConfigurationGivesTheVerdictAlone)
{
    for (const wchar_t* name : {L"LWin+L", L"RWin+L", L"ctrl+alt+del"}) {
        Run(name, agent_);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"BlockLocal", 1);
    }
    KCollectedOutput output;
    EXPECT_EQ(RunTarnwickCtl({L"check"}, output), 0);
    CheckResult result = CheckConfiguration();
    ASSERT_EQ(result.hotkeys.size(), 3u);
    EXPECT_EQ(output.out, L"the service would start with 3 hotkeys: " + result.hotkeys[0] + L", " + result.hotkeys[1] +
                              L", " + result.hotkeys[2] + L"\n");
    EXPECT_EQ(output.err, L"");

    // A program of another kind, found in the folder of the service (here:
    // of the tool), is warned about only for what it runs as.
    Run(L"Probe", L"\"probe.exe\" --x");
    result = CheckConfiguration();
    EXPECT_TRUE(result.wouldStart);
    EXPECT_EQ(FormatFindingLines(result.findings),
              L"warning: hotkey \"Probe\", value \"run\": the program probe.exe is not the agent: "
              L"the service starts it as LocalSystem on the desktop of the user at the console, and "
              L"any window it shows hands that user LocalSystem's rights (a file dialog is enough to "
              L"start any program); let \"run\" start only programs that show no window\n");
}

// The machine policy as the service reads it: a warning, which does not
// keep the service from starting, whenever it does not let services.
TEST_F(CtlCheck, WarnsWhenTheMachinePolicyLetsNoServiceBringUpTheSecureScreen)
{
    Run(L"ctrl+alt+del", agent_);
    const wchar_t* const warning = L"warning: value \"SoftwareSASGeneration\": the machine policy";
    struct Case {
        const char* what;
        void (*arrange)();
        bool warns;
    } const cases[] = {
        {"1", [] {}, false},
        {"absent", [] { RegistrySandbox::DeleteValue(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration); },
         true},
        {"2", [] { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration, 2); },
         true},
        {"3", [] { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration, 3); },
         false},
        {"REG_SZ 1",
         [] { RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration, L"1"); },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        KCollectedOutput output;
        EXPECT_EQ(RunTarnwickCtl({L"check"}, output), 0) << "a warning only";
        EXPECT_EQ(Contains(output.out, warning), c.warns) << Narrow(output.out);
    }
}

TEST_F(CtlCheck, FindsTheProgramsThatDoNotExistAndEveryFaultOfEveryHotkey)
{
    const std::wstring missing = BinDir() + L"\\no such program.exe";
    Run(L"Gone", L"\"" + missing + L"\" -x");
    Run(L"Unquoted", BinPath(L"probe.exe") + L" --flag");  // no blank in the path: fine
    Run(L"Relative", L"\"not-here.exe\"");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(L"Expand"), L"run", L"x.exe", REG_EXPAND_SZ);
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, HotkeySubkey(L"NoRun"));
    const std::wstring longName(130, L'n');
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(longName), L"run", 7);

    const CheckResult result = CheckConfiguration();
    const std::wstring lines = FormatFindingLines(result.findings);
    EXPECT_FALSE(result.wouldStart);
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_BAD_CONFIGURATION));
    EXPECT_TRUE(
        Contains(lines, L"warning: hotkey \"Gone\", value \"run\": the program " + missing + L" does not exist\n"))
        << Narrow(lines);
    EXPECT_FALSE(Contains(lines, L"\"Unquoted\", value \"run\": the program path")) << Narrow(lines);
    EXPECT_FALSE(Contains(lines, L"probe.exe does not exist")) << Narrow(lines);
    EXPECT_TRUE(Contains(lines,
                         L"warning: hotkey \"Relative\", value \"run\": the program not-here.exe is found "
                         L"neither in " +
                             BinDir() + L" nor on the system's search path\n"))
        << Narrow(lines);
    EXPECT_TRUE(Contains(lines, L"error: hotkey \"Expand\", value \"run\": \"run\" is REG_EXPAND_SZ")) << Narrow(lines);
    EXPECT_TRUE(Contains(lines, L"error: hotkey \"NoRun\", value \"run\": there is no \"run\" value")) << Narrow(lines);
    EXPECT_TRUE(Contains(lines, L"error: hotkey \"" + longName + L"\": the name has 130 characters")) << Narrow(lines);
    EXPECT_TRUE(Contains(lines, L"error: hotkey \"" + longName + L"\", value \"run\": \"run\" is REG_DWORD"))
        << Narrow(lines);
}

// "Block" as the check reads it is what the service reads, and "BlockLocal"
// blocks in the check's words exactly when it blocks the agent.
TEST_F(CtlCheck, ReadsBlockAsTheServiceAndBlockLocalAsTheAgent)
{
    struct Stored {
        const char* label;
        DWORD type;
        std::vector<BYTE> data;
    } const forms[] = {
        {"REG_DWORD 1", REG_DWORD, {1, 0, 0, 0}},
        {"REG_DWORD 2", REG_DWORD, {2, 0, 0, 0}},
        {"REG_SZ 1", REG_SZ, {'1', 0, 0, 0}},
        {"one byte", REG_BINARY, {1}},
        {"four bytes", REG_BINARY, {1, 0, 0, 0}},
        {"REG_QWORD 1", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"empty", REG_BINARY, {}},
    };
    const std::wstring name = L"LWin+L";
    Run(name, agent_);
    for (const Stored& form : forms) {
        SCOPED_TRACE(form.label);
        for (const wchar_t* value : {L"Block", L"BlockLocal"}) {
            RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, HotkeySubkey(name), value, form.type, form.data.data(),
                                      static_cast<DWORD>(form.data.size()));
        }
        HotkeyEntry entry = {};
        DWORD error = 0;
        ASSERT_TRUE(ReadHotkeyConfig(name, entry, error));
        const bool agentBlocked = IsLocalActionBlocked(name.c_str());

        const std::wstring lines = FormatFindingLines(CheckConfiguration().findings);
        const bool fourByteNumber = form.type == REG_DWORD;
        if (!fourByteNumber) {
            const std::wstring readAs =
                form.data.size() > 4 ? L"counts it as 0" : L"reads it as " + std::to_wstring(entry.block);
            EXPECT_TRUE(Contains(lines, L"\"Block\" is ")) << Narrow(lines);
            EXPECT_TRUE(Contains(lines, L"the service " + readAs)) << Narrow(lines);
            EXPECT_EQ(Contains(lines, L"the local action is blocked"), agentBlocked) << Narrow(lines);
            EXPECT_EQ(Contains(lines, L"the local action is not blocked"), !agentBlocked) << Narrow(lines);
        } else {
            EXPECT_FALSE(Contains(lines, L"warning")) << Narrow(lines);
        }
        EXPECT_EQ(Contains(lines, L"info: hotkey \"LWin+L\", value \"Block\": \"Block\" is 1"), entry.block == 1)
            << Narrow(lines);
    }
}

// The program that a hotkey starts as LocalSystem, as the service would
// find it, and its folders: a warning names who may change which, and says
// what to do.
TEST_F(CtlCheck, WarnsAboutAHotkeysProgramThatOthersMayChange)
{
    Run(L"LWin+L", agent_);
    Run(L"Probe", L"probe.exe");  // found in the service's folder
    files_.sddl[BinDir()] = L"O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)";
    const CheckResult result = CheckConfiguration();
    EXPECT_TRUE(result.wouldStart) << "a warning only";
    const std::wstring lines = FormatFindingLines(result.findings);
    for (const std::wstring& program : {BinPath(L"TarnwickAgent.exe"), BinPath(L"probe.exe")}) {
        SCOPED_TRACE(Narrow(program));
        const size_t at = lines.find(L"the program " + program + L" is not protected: " + BinDir() + L": ");
        ASSERT_NE(at, std::wstring::npos) << Narrow(lines);
        const std::wstring line = lines.substr(at, lines.find(L'\n', at) - at);
        EXPECT_TRUE(Contains(line, L"(S-1-5-11) may create files in it, create folders in it, delete or rename it. "
                                   L"The service starts it as LocalSystem"))
            << Narrow(line);
        EXPECT_TRUE(Contains(line, L"icacls \"" + BinDir() + L"\" /setowner *S-1-5-32-544 /T /C")) << Narrow(line);
        EXPECT_TRUE(Contains(line, L"/remove:g *S-1-5-11 &")) << Narrow(line);
    }
    EXPECT_TRUE(Contains(lines, L"warning: hotkey \"Probe\", value \"run\": the program " + BinPath(L"probe.exe") +
                                    L" is not protected"))
        << Narrow(lines);
    // What the program's folders are asked: the program as found, its folder
    // and every folder above it.
    EXPECT_NE(std::find(files_.asked.begin(), files_.asked.end(), BinPath(L"probe.exe")), files_.asked.end());

    // A folder whose access list cannot be read.
    files_.sddl.clear();
    files_.errors[BinDir()] = ERROR_ACCESS_DENIED;
    const std::wstring unread = FormatFindingLines(CheckConfiguration().findings);
    EXPECT_TRUE(Contains(unread, L"warning: hotkey \"Probe\", value \"run\": whether others than SYSTEM, "
                                 L"Administrators and TrustedInstaller may change the program " +
                                     BinPath(L"probe.exe") + L" cannot be told: " + BinDir() +
                                     L": its owner and access list cannot be read (error 5 (ERROR_ACCESS_DENIED))"))
        << Narrow(unread);
}

TEST_F(CtlCheck, CreatesSetsAndResetsNoEvent)
{
    const std::wstring pressed = UniqueHotkey(L"pressed");
    const std::wstring idle = UniqueHotkey(L"idle");
    Run(pressed, L"");
    Run(idle, L"");
    KHandle pressedEvent(CreateEventW(nullptr, FALSE, TRUE, HotkeyEventName(pressed.c_str()).c_str()));
    KHandle idleEvent(CreateEventW(nullptr, FALSE, FALSE, HotkeyEventName(idle.c_str()).c_str()));
    ASSERT_TRUE(pressedEvent && idleEvent);

    const CheckResult result = CheckConfiguration();
    EXPECT_TRUE(result.wouldStart) << Narrow(FormatFindingLines(result.findings));
    EXPECT_EQ(WaitForSingleObject(pressedEvent.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "still pressed";
    EXPECT_EQ(WaitForSingleObject(idleEvent.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "not set";

    // And no event of a configured hotkey comes into being.
    const std::wstring unloaded = UniqueHotkey(L"unloaded");
    Run(unloaded, L"");
    CheckConfiguration();
    KHandle opened(OpenEventW(SYNCHRONIZE, FALSE, HotkeyEventName(unloaded.c_str()).c_str()));
    EXPECT_FALSE(opened);
}

}  // namespace

namespace {

// check reads the clients added by policy where the agent reads them, and
// names each entry, used or ignored, whatever the hotkeys are.
TEST_F(CtlCheck, NamesEachClientEntryOfThePolicy)
{
    const std::wstring clients = L"SOFTWARE\\Policies\\Tarnwick\\Clients";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, clients, L"msrdc.exe", L"like=mstsc.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, clients, L"odd.exe", L"like=mstsc.exe;class=");
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, clients, L"number.exe", 1);
    Run(L"LWin+L", agent_);

    const std::wstring lines = FormatFindingLines(CheckConfiguration().findings);

    EXPECT_TRUE(Contains(lines, L"info: value \"msrdc.exe\": msrdc.exe is handled like mstsc.exe\n")) << Narrow(lines);
    EXPECT_TRUE(Contains(lines, L"warning: value \"odd.exe\": the client entry \"odd.exe\" of "
                                L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Tarnwick\\Clients is ignored: the data "
                                L"does not read"))
        << Narrow(lines);
    EXPECT_TRUE(Contains(lines, L"warning: value \"number.exe\": ")) << Narrow(lines);
    EXPECT_TRUE(Contains(lines, L"it is REG_DWORD, not REG_SZ")) << Narrow(lines);
}

}  // namespace
