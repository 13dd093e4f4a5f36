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
    report.files = {{L"TarnwickSvc.exe", true, std::wstring(L"1.0.0.0")},
                    {L"TarnwickAgent.exe", true, std::nullopt},
                    {L"TarnwickCtl.exe", false, std::nullopt}};
    return report;
}

TEST(StatusReport, TextTellsStateExitCodeProgramUserPolicyMarkerAndVersions)
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
              L"\"TarnwickSvc.exe /install\" from an elevated prompt)\nconsole user: none\nZQKBFiltrWinLogon: absent\n");
}

TEST(StatusReport, JsonHoldsEveryFieldAndNullForWhatIsUnknown)
{
    StatusReport report = Installed(2, 0, L"\"C:\\T\\TarnwickSvc.exe\"");
    EXPECT_EQ(StatusJson(report),
              L"{\"service\":{\"installed\":true,\"state\":\"start-pending\",\"exitCode\":0,"
              L"\"imagePath\":\"\\\"C:\\\\T\\\\TarnwickSvc.exe\\\"\",\"imagePathQuoted\":true},"
              L"\"consoleUser\":\"alice\",\"disableLockWorkstation\":1,\"logonMarker\":false,"
              L"\"files\":{\"TarnwickSvc.exe\":\"1.0.0.0\",\"TarnwickAgent.exe\":null,\"TarnwickCtl.exe\":null}}\n");

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
              L"\"logonMarker\":false,\"files\":{}}\n");

    const wchar_t* const names[] = {L"stopped",          L"start-pending", L"stop-pending", L"running",
                                    L"continue-pending", L"pause-pending", L"paused"};
    for (std::uint32_t state = 1; state <= 7; ++state) {
        EXPECT_EQ(ServiceStateName(state), names[state - 1]);
    }
    EXPECT_EQ(ServiceStateName(0), L"");
    EXPECT_EQ(ServiceStateName(8), L"");
}

}  // namespace
