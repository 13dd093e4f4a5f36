// Who besides SYSTEM, Administrators and TrustedInstaller can change a
// program, its folder and the folders above: the owners and access lists
// come through the seam (Wine keeps none), made by Windows' own conversion
// from their text (SDDL), and are read as the file system would give them.
#include "common/folder_security.h"
#include "tests/support/fake_file_security.h"
#include "tests/support/narrow_text.h"
#include "tests/support/strict_win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const std::wstring kTrustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const std::wstring kUser = L"S-1-5-21-1-2-3-1001";

// What a writer holds, as "SID rights newFileRights newFolderRights owner".
std::string Described(const Writer& writer)
{
    char text[96];
    std::snprintf(text, sizeof(text), " %lx %lx %lx%s%s", static_cast<unsigned long>(writer.rights),
                  static_cast<unsigned long>(writer.newFileRights), static_cast<unsigned long>(writer.newFolderRights),
                  writer.owner ? " owner" : "", writer.nullDacl ? " null" : "");
    return Narrow(writer.sid) + text;
}

std::vector<std::string> WritersOf(const std::wstring& sddl, PathRole role)
{
    KStrictWin32Override api;
    FakeFileSecurity files(sddl);
    const PathSecurity read = ReadPathSecurity({L"C:\\X", role});
    EXPECT_EQ(read.error, 0u);
    std::vector<std::string> writers;
    for (const Writer& writer : read.writers) {
        writers.push_back(Described(writer));
    }
    return writers;
}

TEST(FolderSecurity, WhoElseMayChangeAProgramItsFolderOrAFolderAbove)
{
    using Role = PathRole;
    using W = std::vector<std::string>;
    const std::wstring ti = L"O:" + kTrustedInstaller;
    struct Case {
        const char* what;
        std::wstring sddl;
        Role role;
        W writers;
    } const cases[] = {
        {"only SYSTEM, Administrators and TrustedInstaller", ti + L"D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" +
                                                                kTrustedInstaller + L")(A;;0x1200a9;;;BU)",
         Role::Folder, W{}},
        {"Users may write the program", L"O:BAD:(A;;FA;;;BA)(A;;FW;;;BU)", Role::Program,
         W{"S-1-5-32-545 6 0 0"}},
        {"Users may create files and folders in the folder", L"O:BAD:(A;;FA;;;BA)(A;;FW;;;BU)", Role::Folder,
         W{"S-1-5-32-545 6 0 0"}},
        // Modify: write, append, delete; no FILE_DELETE_CHILD, no WRITE_DAC.
        {"Authenticated Users may modify the folder", L"O:BAD:(A;OICI;0x1301bf;;;AU)", Role::Folder,
         W{"S-1-5-11 10006 10006 10006"}},
        {"Authenticated Users may modify a folder above (rename it)", L"O:BAD:(A;OICI;0x1301bf;;;AU)",
         Role::FolderAbove, W{"S-1-5-11 10000 0 0"}},
        {"a root cannot be renamed", L"O:BAD:(A;OICI;0x1301bf;;;AU)", Role::Root, W{}},
        {"Everyone may delete what a root holds", L"O:SYD:(A;;0x40;;;WD)", Role::Root, W{"S-1-1-0 40 0 0"}},
        // No "D:" at all: no access list (Wine's conversion makes an empty one of
        // "D:NO_ACCESS_CONTROL", which Windows makes a NULL one).
        {"a NULL access list", L"O:BA", Role::Program, W{"S-1-1-0 d0006 0 0 null"}},
        {"an owner who is a user", L"O:" + kUser + L"D:(A;;FA;;;SY)", Role::Program,
         W{Narrow(kUser) + " 40000 0 0 owner"}},
        {"an owner whose rights OWNER RIGHTS limits to reading", L"O:" + kUser + L"D:(A;;FA;;;SY)(A;;FR;;;S-1-3-4)",
         Role::Program, W{}},
        {"an owner to whom OWNER RIGHTS gives every right", L"O:" + kUser + L"D:(A;;FA;;;S-1-3-4)", Role::Program,
         W{Narrow(kUser) + " d0006 0 0"}},
        {"generic rights count as mapped", L"O:BAD:(A;;GA;;;IU)", Role::Program, W{"S-1-5-4 d0006 0 0"}},
        // As under C:\Program Files: placeholders for whoever creates something.
        {"CREATOR OWNER inherit-only in the folder", L"O:BAD:(A;;FA;;;BA)(A;OICIIO;GA;;;CO)", Role::Folder, W{}},
        {"Users' inherit-only write counts for what is created in the folder later",
         L"O:BAD:(A;;FA;;;BA)(A;OIIO;GW;;;BU)(A;CIIO;GA;;;IU)", Role::Folder,
         W{"S-1-5-32-545 0 6 0", "S-1-5-4 0 0 d0046"}},
        {"inherit-only entries do not apply to the program itself", L"O:BAD:(A;OICIIO;GA;;;BU)", Role::Program, W{}},
        {"a deny for everyone before the allow takes its rights", L"O:BAD:(D;;0xd0006;;;WD)(A;;FA;;;BU)",
         Role::Program, W{}},
        {"a deny of some rights leaves the others", L"O:BAD:(D;;FW;;;BU)(A;;FA;;;BU)", Role::Program,
         W{"S-1-5-32-545 d0000 0 0"}},
        {"a deny after the allow takes nothing", L"O:BAD:(A;;FW;;;BU)(D;;FW;;;BU)", Role::Program,
         W{"S-1-5-32-545 6 0 0"}},
        {"a deny for another group is not relied on", L"O:BAD:(D;;FA;;;BU)(A;;FW;;;AU)", Role::Program,
         W{"S-1-5-11 6 0 0"}},
        {"reading and running is no write", L"O:BAD:(A;OICI;0x1200a9;;;WD)(A;;FR;;;AN)", Role::Folder, W{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(WritersOf(c.sddl, c.role), c.writers);
    }
}

// Windows 10's own C:\ and C:\Program Files, as icacls shows them, let no
// one else rename or replace the folders above a program there.
TEST(FolderSecurity, TheSystemDrivesRootAndProgramFilesAreProtected)
{
    KStrictWin32Override api;
    FakeFileSecurity files;
    files.sddl[L"C:\\"] =
        L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)(A;;0x4;;;AU)";
    files.sddl[L"C:\\Program Files"] = L"O:" + kTrustedInstaller + L"D:PAI(A;;FA;;;" + kTrustedInstaller +
                                        L")(A;CIIO;GA;;;" + kTrustedInstaller +
                                        L")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
                                        L"(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)";
    const std::vector<PathSecurity> read = ReadProgramPathSecurity(L"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe");
    EXPECT_EQ(files.asked, (std::vector<std::wstring>{L"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe",
                                                      L"C:\\Program Files\\Tarnwick", L"C:\\Program Files", L"C:\\"}));
    ASSERT_EQ(read.size(), 4u);
    for (const PathSecurity& step : read) {
        EXPECT_EQ(step.error, 0u) << Narrow(step.path);
        EXPECT_TRUE(step.writers.empty()) << Narrow(step.path);
    }
    EXPECT_TRUE(OnlyTrustedCanChange(read));

    // The same program directly under C:\, where Authenticated Users may
    // create folders: its folder is C:\ itself.
    const std::vector<PathSecurity> inRoot = ReadProgramPathSecurity(L"C:\\TarnwickSvc.exe");
    ASSERT_EQ(inRoot.size(), 2u);
    EXPECT_EQ(inRoot[1].role, PathRole::Folder);
    ASSERT_EQ(inRoot[1].writers.size(), 1u);
    EXPECT_EQ(Described(inRoot[1].writers[0]), "S-1-5-11 4 10006 10006");
    EXPECT_FALSE(OnlyTrustedCanChange(inRoot));
}

TEST(FolderSecurity, WhatCannotBeReadIsNotTrusted)
{
    KStrictWin32Override api;
    FakeFileSecurity files;
    files.errors[L"D:\\Tools"] = ERROR_ACCESS_DENIED;
    const std::vector<PathSecurity> read = ReadProgramPathSecurity(L"D:\\Tools\\Tarnwick\\TarnwickSvc.exe");
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[2].error, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(OnlyTrustedCanChange(read));
    EXPECT_EQ(PathSecurityText(read, [](const std::wstring&) { return std::wstring(); },
                               [](std::uint32_t error) { return std::to_wstring(error); }),
              L"D:\\Tools: its owner and access list cannot be read (5)");
}

TEST(FolderSecurity, AccountNamesComeFromTheLookupAndNoneFromASidWithoutAccount)
{
    KStrictWin32Override api(&Win32Api::ConvertStringSidToSidW, &Win32Api::LookupAccountSidW, &Win32Api::LocalFree);
    EXPECT_NE(AccountNameOfSid(L"S-1-5-32-545").find(L"Users"), std::wstring::npos);
    EXPECT_EQ(AccountNameOfSid(L"S-1-5-21-1-2-3-4242"), L"");
    EXPECT_EQ(AccountNameOfSid(L"not a SID"), L"");
}

}  // namespace
