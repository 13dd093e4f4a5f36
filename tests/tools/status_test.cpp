// TarnwickCtl status: the console user's part in this process with HKEY_USERS
// inside a RegistrySandbox, and the versions of the programs beside a copy
// of the real program.
#include "common/lock_policy.h"
#include "common/software_sas.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/test_programs.h"
#include "tests/tools/ctl_run.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class CtlStatus : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
};

TEST_F(CtlStatus, ShowsTheConsoleUsersLockPolicy)
{
    std::wstring user;
    ASSERT_TRUE(GetConsoleUserName(user));
    wchar_t sid[kSidStringChars] = {};
    ASSERT_TRUE(GetAccountSidString(user.c_str(), sid));

    CtlRun run = RunCtlHere({L"status"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, L"console user: " + user + L" (" + sid + L")\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, L"DisableLockWorkstation: absent\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, L"ZQKBFiltrWinLogon: ")) << run.out;

    ASSERT_TRUE(SetLockWorkstationPolicy(user.c_str(), 1));
    run = RunCtlHere({L"status"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, L"DisableLockWorkstation: REG_DWORD 1 (0x00000001)\n")) << run.out;

    // No session attached to the console.
    KWin32Override api;
    win32.WTSGetActiveConsoleSessionId = [] { return 0xFFFFFFFFul; };
    run = RunCtlHere({L"status"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, L"console user: none\n")) << run.out;
    EXPECT_FALSE(Contains(run.out, L"DisableLockWorkstation")) << run.out;
}

// The machine policy, read from the (sandboxed) registry each time.
TEST_F(CtlStatus, ShowsTheMachinePolicyThatLetsServicesBringUpTheSecureScreen)
{
    CtlRun run = RunCtlHere({L"status"});
    EXPECT_TRUE(Contains(run.out, L"\nSoftwareSASGeneration: absent (no service may")) << run.out;
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration, 3);
    run = RunCtlHere({L"status"});
    EXPECT_TRUE(Contains(run.out, L"\nSoftwareSASGeneration: REG_DWORD 3 (0x00000003) (services may")) << run.out;
    run = RunCtlHere({L"status", L"--json"});
    EXPECT_TRUE(Contains(run.out, L"\"softwareSasGeneration\":3,")) << run.out;
}

TEST_F(CtlStatus, WhatCannotBeFoundOutGivesExitCodeOneAndAMessage)
{
    KWin32Override api;
    // As for an administrator, to whom Windows does not give the session's
    // token, with an account that no lookup finds.
    win32.WTSQueryUserToken = [](ULONG, PHANDLE) -> BOOL {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    };
    win32.LookupAccountNameW = [](LPCWSTR, LPCWSTR, PSID, LPDWORD, LPWSTR, LPDWORD, PSID_NAME_USE) -> BOOL {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    };
    CtlRun run = RunCtlHere({L"status"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, L"cannot look up the SID of")) << run.err;
    EXPECT_TRUE(Contains(run.err, L"(error 1332")) << run.err;
    EXPECT_FALSE(Contains(run.out, L"DisableLockWorkstation")) << run.out;

    run = RunCtlHere({L"status", L"--json"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.out, L"\"disableLockWorkstation\":null")) << run.out;
}

// The fixed file version of a file, as "a.b.c.d", read with plain calls.
std::string VersionOf(const std::wstring& path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        return "no version information";
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

TEST(CtlStatusFiles, ShowsTheVersionOfEachProgramBesideTheTool)
{
    const std::wstring folder = MakeScratchDir(L"status files");
    const std::wstring tool = folder + L"\\TarnwickCtl.exe";
    const std::wstring agent = folder + L"\\TarnwickAgent.exe";
    CopyFileOrFail(BinPath(L"TarnwickCtl.exe"), tool);
    // A system file with a version resource stands in for the agent.
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    CopyFileOrFail(std::wstring(system) + L"\\kernel32.dll", agent);
    ASSERT_NE(VersionOf(agent), "no version information");

    const RunResult run = RunProgram(L"\"" + tool + L"\" status");
    EXPECT_TRUE(run.finished);
    EXPECT_NE(run.output.find("TarnwickSvc.exe: not found\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("TarnwickAgent.exe: " + VersionOf(agent) + "\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("TarnwickCtl.exe: " + VersionOf(tool) + "\n"), std::string::npos) << run.output;
    DeleteFileW(tool.c_str());
    DeleteFileW(agent.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
