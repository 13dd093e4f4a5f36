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
    EXPECT_EQ(StatusText(report),
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
    const std::wstring text = StatusText(report);
    EXPECT_NE(text.find(L"service TarnwickSvc: installed, running\nlast exit code: 0\n"
                        L"registered program: \"C:\\Tarnwick\\TarnwickSvc.exe\" (quoted)\n"),
              std::wstring::npos)
        << text;
    EXPECT_NE(text.find(L"DisableLockWorkstation: absent\nZQKBFiltrWinLogon: exists\n"), std::wstring::npos) << text;

    StatusReport none;
    none.managerOpened = true;
    EXPECT_EQ(StatusText(none),
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
        const std::wstring text = StatusText(report);
        EXPECT_NE(text.find(std::wstring(L"\n") + c.line), std::wstring::npos) << std::string(text.begin(), text.end());
    }
}

TEST(StatusReport, JsonHoldsEveryFieldAndNullForWhatIsUnknown)
{
    StatusReport report = Installed(2, 0, L"\"C:\\T\\TarnwickSvc.exe\"");
    EXPECT_EQ(StatusJson(report),
              L"{\"service\":{\"installed\":true,\"state\":\"start-pending\",\"exitCode\":0,"
              L"\"imagePath\":\"\\\"C:\\\\T\\\\TarnwickSvc.exe\\\"\",\"imagePathQuoted\":true},"
              L"\"consoleUser\":\"alice\",\"disableLockWorkstation\":1,\"logonMarker\":false,"
              L"\"softwareSasGeneration\":1,\"files\":{\"TarnwickSvc.exe\":\"1.0.0.0\",\"TarnwickAgent.exe\":null,\"TarnwickCtl.exe\":null}}\n");

    StatusReport none;
    none.managerOpened = true;
    none.consoleUser = L"bob";
    none.policyRead = true;
    none.policyPresent = true;
    none.policyType = 1;  // REG_SZ: no number
    none.policyData = {'1', 0, 0, 0};
    EXPECT_EQ(StatusJson(none),
              L"{\"service\":{\"installed\":false,\"state\":null,\"exitCode\":null,\"imagePath\":null,"
              L"\"imagePathQuoted\":null},\"consoleUser\":\"bob\",\"disableLockWorkstation\":null,"
              L"\"logonMarker\":false,\"softwareSasGeneration\":null,\"files\":{}}\n");

    const wchar_t* const names[] = {L"stopped",          L"start-pending", L"stop-pending", L"running",
                                    L"continue-pending", L"pause-pending", L"paused"};
    for (std::uint32_t state = 1; state <= 7; ++state) {
        EXPECT_EQ(ServiceStateName(state), names[state - 1]);
    }
    EXPECT_EQ(ServiceStateName(0), L"");
    EXPECT_EQ(ServiceStateName(8), L"");
}

}  // namespace
