// The registry sandbox itself: nesting, a redirection that cannot be
// installed, and the keys that ended runs left behind.
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::wstring kProbeKey = L"SOFTWARE\\TarnwickSandboxProbe";

bool ProbeSeen(const std::wstring& expected)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, kProbeKey, L"owner", type, data)) {
        return false;
    }
    return std::wstring(reinterpret_cast<const wchar_t*>(data.data())) == expected;
}

bool ScratchKeyExists(const std::wstring& name)
{
    return RegistrySandbox::KeyExists(HKEY_CURRENT_USER, L"Software\\TarnwickTests\\" + name);
}

DWORD SomeOtherRunningProcess()
{
    DWORD found = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more && found == 0; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID != 0 && entry.th32ProcessID != GetCurrentProcessId()) {
            found = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace

TEST(RegistrySandbox, ASandboxInsideAnotherPutsTheOuterRedirectionBack)
{
    RegistrySandbox outer;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kProbeKey, L"owner", L"outer");
    {
        RegistrySandbox inner;
        EXPECT_FALSE(ProbeSeen(L"outer")) << "the inner sandbox starts empty";
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kProbeKey, L"owner", L"inner");
    }
    EXPECT_TRUE(ProbeSeen(L"outer")) << "HKEY_LOCAL_MACHINE is the outer sandbox again";
    RegistrySandbox::SetString(HKEY_USERS, L"S-1-0\\probe", L"owner", L"outer");
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_USERS, L"S-1-0\\probe"));
}

TEST(RegistrySandbox, ARedirectionThatCannotBeInstalledEndsTheTestAndKeepsTheOuterOne)
{
    RegistrySandbox outer;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, kProbeKey, L"owner", L"outer");

    // Scratch keys cannot be made below a key that has been deleted: point
    // HKEY_CURRENT_USER at one for the time of the attempt.
    const std::wstring doomed = L"Software\\TarnwickSandboxDoomed." + std::to_wstring(GetCurrentProcessId());
    HKEY deleted = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, doomed.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deleted,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, doomed.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, deleted), ERROR_SUCCESS);

    bool ended = false;
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter intercept(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        try {
            RegistrySandbox inner;
        } catch (const std::runtime_error&) {
            ended = true;
        }
    }
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(deleted);

    EXPECT_TRUE(ended) << "the test does not go on without its sandbox";
    ASSERT_EQ(failures.size(), 1);
    EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find("cannot redirect"), std::string::npos);
    EXPECT_TRUE(ProbeSeen(L"outer")) << "HKEY_LOCAL_MACHINE is still the outer sandbox";
}

TEST(RegistrySandbox, MakingOneRemovesTheKeysOfRunsThatEnded)
{
    // 4000000000 is no process; the other two are running.
    const std::wstring ended = L"4000000000-1";
    const std::wstring mine = std::to_wstring(GetCurrentProcessId()) + L"-999";
    const DWORD other = SomeOtherRunningProcess();
    ASSERT_NE(other, 0u);
    const std::wstring running = std::to_wstring(other) + L"-1";
    for (const std::wstring& name : {ended, mine, running}) {
        RegistrySandbox::CreateKey(HKEY_CURRENT_USER, L"Software\\TarnwickTests\\" + name + L"\\machine");
    }

    { RegistrySandbox sandbox; }

    EXPECT_FALSE(ScratchKeyExists(ended));
    EXPECT_TRUE(ScratchKeyExists(mine));
    EXPECT_TRUE(ScratchKeyExists(running));
    for (const std::wstring& name : {mine, running}) {
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\TarnwickTests\\" + name).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, (L"Software\\TarnwickTests\\" + name).c_str());
    }
}
