// LaunchInConsoleSession starting a real child, the probe. The child opens a
// console window of its own, which can take the foreground: LOCK.
#include "common/win32_api.h"
#include "service/launcher.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Splits the probe's record into its two lines: command line, directory.
std::vector<std::wstring> ProbeRecord(const std::wstring& file)
{
    const std::wstring text = ReadTextFile(file);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST(LauncherChild, StartsARealChildInTheProgramsDirectoryAndKeepsNoHandleToIt)
{
    KWin32Override api;
    std::vector<HANDLE> childHandles;  // thread, process
    std::vector<HANDLE> closed;
    auto realCreate = win32.CreateProcessAsUserW;
    win32.CreateProcessAsUserW = [&](HANDLE token, LPCWSTR app, LPWSTR line, LPSECURITY_ATTRIBUTES pa,
                                     LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags, LPVOID env, LPCWSTR dir,
                                     LPSTARTUPINFOW si, LPPROCESS_INFORMATION pi) {
        const BOOL created = realCreate(token, app, line, pa, ta, inherit, flags, env, dir, si, pi);
        if (created) {
            childHandles = {pi->hThread, pi->hProcess};
        }
        return created;
    };
    auto realClose = win32.CloseHandle;
    win32.CloseHandle = [&](HANDLE handle) {
        closed.push_back(handle);
        return realClose(handle);
    };

    const std::wstring scratch = MakeScratchDir(L"launch");
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.c_str()));
    const std::wstring record = scratch + L"\\record.txt";
    const std::wstring commandLine = L"\"" + BinPath(L"probe.exe") + L"\" \"" + record + L"\" LWin+L";

    LaunchInConsoleSession(commandLine.c_str());

    ASSERT_EQ(childHandles.size(), 2u) << "the child was created";
    ASSERT_GE(closed.size(), 2u);
    EXPECT_EQ((std::vector<HANDLE>{closed[0], closed[1]}), childHandles) << "thread, then process, closed at once";
    ASSERT_TRUE(WaitUntil([&] { return GetFileAttributesW(record.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    const std::vector<std::wstring> lines = ProbeRecord(record);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], commandLine);
    EXPECT_EQ(lines[1], BinDir());
    EXPECT_EQ(GetModuleDirectory(), BinDir());
    EXPECT_EQ(GetModulePath(), BinPath(L"launcher_child_test.exe"));
    DeleteFileW(record.c_str());
    RemoveDirectoryW(scratch.c_str());
}

}  // namespace
