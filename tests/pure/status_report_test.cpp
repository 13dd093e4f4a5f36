#include "tools/status_report.h"

#include <gtest/gtest.h>

namespace {

StatusReport Installed(std::uint32_t state, std::uint32_t exitCode, const std::wstring& imagePath)
{
    StatusReport report;
    report.managerOpened = true;
    report.installed = true;
    report.state = state;
    report.exitCode = exitCode;
    report.exitCodeMeaning =
        exitCode == 1610 ? L"ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used" : L"";
    report.imagePath = imagePath;
    report.consoleUser = L"alice";
    report.sid = L"S-1-5-21-1";
    report.policyRead = true;
    report.policyPresent = true;
    report.policyType = 4;
    report.policyData = {1, 0, 0, 0};
    report.softwareSas.present = true;
    report.softwareSas.type = 4;
    report.softwareSas.data = {1, 0, 0, 0};
    report.files = {{L"TarnwickSvc.exe", true, std::wstring(L"1.0.0.0")},
                    {L"TarnwickAgent.exe", true, std::nullopt},
                    {L"TarnwickCtl.exe", false, std::nullopt}};
    return report;
}

TEST(StatusReport, TextTellsStateExitCodeProgramUserPoliciesMarkerAndVersions)
{
    StatusReport report = Installed(1, 1610, L"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe");
    EXPECT_EQ(RenderStatusText(report),
              L"service TarnwickSvc: installed, stopped\n"
              L"last exit code: 1610 (ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used): run "
              L"`TarnwickCtl check`\n"
              L"registered program: C:\\Program Files\\Tarnwick\\TarnwickSvc.exe (not quoted, and it holds blanks: "
              L"Windows may start C:\\Program.exe instead)\n"
              L"console user: alice (S-1-5-21-1)\n"
              L"DisableLockWorkstation: REG_DWORD 1 (0x00000001)\n"
              L"ZQKBFiltrWinLogon: absent\n"
              L"SoftwareSASGeneration: REG_DWORD 1 (0x00000001) (services may bring up the secure screen: a local "
              L"Ctrl+Alt+Del goes through the service)\n"
              L"TarnwickSvc.exe: 1.0.0.0\n"
              L"TarnwickAgent.exe: no version information\n"
              L"TarnwickCtl.exe: not found\n");

    report = Installed(4, 0, L"\"C:\\Tarnwick\\TarnwickSvc.exe\"");
    report.logonMarker = true;
    report.policyPresent = false;
    const std::wstring text = RenderStatusText(report);
    EXPECT_NE(text.find(L"service TarnwickSvc: installed, running\nlast exit code: 0\n"
                        L"registered program: \"C:\\Tarnwick\\TarnwickSvc.exe\" (quoted)\n"),
              std::wstring::npos)
        << text;
    EXPECT_NE(text.find(L"DisableLockWorkstation: absent\nZQKBFiltrWinLogon: exists\n"), std::wstring::npos) << text;

    StatusReport none;
    none.managerOpened = true;
    EXPECT_EQ(RenderStatusText(none),
              L"service TarnwickSvc: not installed (install the package Tarnwick-VERSION-x64.msi, or run "
              L"\"TarnwickSvc.exe /install\" from an elevated prompt)\nconsole user: none\nZQKBFiltrWinLogon: absent\n"
              L"SoftwareSASGeneration: absent (no service may bring up the secure screen: a local Ctrl+Alt+Del is "
              L"sent as synthesised keys, which Windows ignores; see TarnwickCtl check)\n");
}

// Whether services may bring up the secure screen, for every form of the
// policy value.
TEST(StatusReport, TheSoftwareSasLineSaysWhetherServicesMayBringUpTheSecureScreen)
{
    struct Case {
        bool present;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        std::uint32_t error;
        const wchar_t* line;
    } const cases[] = {
        {true, 4, {3, 0, 0, 0}, 0, L"SoftwareSASGeneration: REG_DWORD 3 (0x00000003) (services may"},
        {true, 4, {2, 0, 0, 0}, 0, L"SoftwareSASGeneration: REG_DWORD 2 (0x00000002) (no service may"},
        {true, 4, {0, 0, 0, 0}, 0, L"SoftwareSASGeneration: REG_DWORD 0 (0x00000000) (no service may"},
        {true, 1, {'1', 0, 0, 0}, 0, L"SoftwareSASGeneration: REG_SZ \"1\" (no service may"},
        {false, 0, {}, 5, L"SoftwareSASGeneration: cannot be read: error 5 (ERROR_ACCESS_DENIED)\n"},
    };
    for (const Case& c : cases) {
        StatusReport report;
        report.managerOpened = true;
        report.softwareSas.present = c.present;
        report.softwareSas.type = c.type;
        report.softwareSas.data = c.data;
        report.softwareSasError = c.error;
        const std::wstring text = RenderStatusText(report);
        EXPECT_NE(text.find(std::wstring(L"\n") + c.line), std::wstring::npos) << std::string(text.begin(), text.end());
    }
}

// Who may change the registered program: a line after the registration,
// and "serviceProgram" in JSON.
TEST(StatusReport, TellsWhetherOthersMayChangeTheServicesProgram)
{
    StatusReport report = Installed(4, 0, L"\"C:\\T\\TarnwickSvc.exe\"");
    ProgramProtection protection;
    protection.program = L"C:\\T\\TarnwickSvc.exe";
    protection.steps = {{L"C:\\T\\TarnwickSvc.exe", PathRole::Program, 0, {}},
                        {L"C:\\T", PathRole::Folder, 0, {}},
                        {L"C:\\", PathRole::Root, 0, {}}};
    report.serviceProgram = protection;
    const std::wstring registered = L"registered program: \"C:\\T\\TarnwickSvc.exe\" (quoted)\n";
    EXPECT_NE(RenderStatusText(report).find(registered + L"service program: only SYSTEM, Administrators and "
                                                   L"TrustedInstaller may change it, its folder and the folders "
                                                   L"above\n"),
              std::wstring::npos)
        << RenderStatusText(report);
    EXPECT_NE(RenderStatusJson(report).find(L"\"serviceProgram\":{\"path\":\"C:\\\\T\\\\TarnwickSvc.exe\",\"protected\":true,"
                                      L"\"changeableBy\":[],\"unreadable\":[]},"),
              std::wstring::npos)
        << RenderStatusJson(report);

    Writer owner;
    owner.sid = L"S-1-5-21-7-7-7-1001";
    owner.owner = true;
    owner.rights = file_rights::kWriteDac;
    Writer users;
    users.sid = L"S-1-5-32-545";
    users.rights = file_rights::kWriteData;
    report.serviceProgram->steps[1].writers = {owner, users};
    report.serviceProgram->steps[2].error = 5;
    report.serviceProgram->names[L"S-1-5-32-545"] = L"BUILTIN\\Users";
    EXPECT_NE(RenderStatusText(report).find(registered + L"service program: others may change it: C:\\T "
                                                   L"(S-1-5-21-7-7-7-1001, BUILTIN\\Users), C:\\ (cannot be read: "
                                                   L"error 5 (ERROR_ACCESS_DENIED)); it runs as LocalSystem: install "
                                                   L"Tarnwick with its package into C:\\Program Files\\Tarnwick, or "
                                                   L"see TarnwickCtl check\n"),
              std::wstring::npos)
        << RenderStatusText(report);
    EXPECT_NE(RenderStatusJson(report).find(
                  L"\"protected\":false,\"changeableBy\":[{\"path\":\"C:\\\\T\",\"sid\":\"S-1-5-21-7-7-7-1001\","
                  L"\"name\":null,\"rights\":\"owns it, and so may change its access list\"},{\"path\":\"C:\\\\T\","
                  L"\"sid\":\"S-1-5-32-545\",\"name\":\"BUILTIN\\\\Users\",\"rights\":\"may create files in it\"}],"
                  L"\"unreadable\":[{\"path\":\"C:\\\\\",\"error\":5}]},"),
              std::wstring::npos)
        << RenderStatusJson(report);

    // Nothing but what cannot be read.
    report.serviceProgram->steps[1].writers.clear();
    EXPECT_NE(RenderStatusText(report).find(L"service program: cannot be checked: C:\\ (cannot be read: error 5 "
                                      L"(ERROR_ACCESS_DENIED))\n"),
              std::wstring::npos)
        << RenderStatusText(report);
}

TEST(StatusReport, JsonHoldsEveryFieldAndNullForWhatIsUnknown)
{
    StatusReport report = Installed(2, 0, L"\"C:\\T\\TarnwickSvc.exe\"");
    EXPECT_EQ(RenderStatusJson(report),
              L"{\"service\":{\"installed\":true,\"state\":\"start-pending\",\"exitCode\":0,"
              L"\"imagePath\":\"\\\"C:\\\\T\\\\TarnwickSvc.exe\\\"\",\"imagePathQuoted\":true},"
              L"\"serviceProgram\":null,\"consoleUser\":\"alice\",\"disableLockWorkstation\":1,\"logonMarker\":false,"
              L"\"softwareSasGeneration\":1,\"files\":{\"TarnwickSvc.exe\":\"1.0.0.0\",\"TarnwickAgent.exe\":null,\"TarnwickCtl.exe\":null}}\n");

    StatusReport none;
    none.managerOpened = true;
    none.consoleUser = L"bob";
    none.policyRead = true;
    none.policyPresent = true;
    none.policyType = 1;  // REG_SZ: no number
    none.policyData = {'1', 0, 0, 0};
    EXPECT_EQ(RenderStatusJson(none),
              L"{\"service\":{\"installed\":false,\"state\":null,\"exitCode\":null,\"imagePath\":null,"
              L"\"imagePathQuoted\":null},\"serviceProgram\":null,\"consoleUser\":\"bob\","
              L"\"disableLockWorkstation\":null,"
              L"\"logonMarker\":false,\"softwareSasGeneration\":null,\"files\":{}}\n");

    const wchar_t* const names[] = {L"stopped",          L"start-pending", L"stop-pending", L"running",
                                    L"continue-pending", L"pause-pending", L"paused"};
    for (std::uint32_t state = 1; state <= 7; ++state) {
        EXPECT_EQ(NameServiceState(state), names[state - 1]);
    }
    EXPECT_EQ(NameServiceState(0), L"");
    EXPECT_EQ(NameServiceState(8), L"");
}

}  // namespace
