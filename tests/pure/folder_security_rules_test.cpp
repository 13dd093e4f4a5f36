// The stored forms of SIDs and access lists, read without Windows (the
// evaluation of real descriptors is tests/common/folder_security_test.cpp),
// the steps from a program to its root, and the words of the findings.
#include "common/folder_security_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A SID as stored: revision 1, the authority, the subauthorities.
Bytes Sid(std::uint64_t authority, const std::vector<std::uint32_t>& subauthorities)
{
    Bytes bytes = {1, static_cast<std::uint8_t>(subauthorities.size())};
    for (int shift = 40; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(authority >> shift));
    }
    for (std::uint32_t sub : subauthorities) {
        Put32(bytes, sub);
    }
    return bytes;
}

// An entry: type, flags, size, mask, then `body` (the SID, or the object
// entry's flags, GUIDs and SID).
Bytes Entry(std::uint8_t type, std::uint8_t flags, std::uint32_t mask, const Bytes& body)
{
    Bytes bytes = {type, flags, 0, 0};
    Put32(bytes, mask);
    bytes.insert(bytes.end(), body.begin(), body.end());
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    bytes[3] = static_cast<std::uint8_t>(bytes.size() >> 8);
    return bytes;
}

Bytes Acl(const std::vector<Bytes>& entries)
{
    Bytes bytes = {2, 0, 0, 0, static_cast<std::uint8_t>(entries.size()), 0, 0, 0};
    for (const Bytes& entry : entries) {
        bytes.insert(bytes.end(), entry.begin(), entry.end());
    }
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    bytes[3] = static_cast<std::uint8_t>(bytes.size() >> 8);
    return bytes;
}

TEST(FolderSecurityRules, SidsAsWindowsWritesThem)
{
    const Bytes users = Sid(5, {32, 545});
    EXPECT_EQ(SidText(users.data(), users.size()), std::wstring(L"S-1-5-32-545"));
    const Bytes everyone = Sid(1, {0});
    EXPECT_EQ(SidText(everyone.data(), everyone.size()), std::wstring(L"S-1-1-0"));
    const Bytes trustedInstaller = Sid(5, {80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u});
    EXPECT_EQ(SidText(trustedInstaller.data(), trustedInstaller.size()), std::wstring(kTrustedInstallerSid));
    const Bytes wide = Sid(0x123456789ABCull, {7});
    EXPECT_EQ(SidText(wide.data(), wide.size()), std::wstring(L"S-1-0x123456789ABC-7"));
    const Bytes none = Sid(5, {});
    EXPECT_EQ(SidText(none.data(), none.size()), std::wstring(L"S-1-5"));

    // Cut short, another revision, too many subauthorities.
    EXPECT_FALSE(SidText(users.data(), users.size() - 1));
    Bytes revision2 = users;
    revision2[0] = 2;
    EXPECT_FALSE(SidText(revision2.data(), revision2.size()));
    Bytes sixteen = users;
    sixteen[1] = 16;
    EXPECT_FALSE(SidText(sixteen.data(), 200));
}

TEST(FolderSecurityRules, AccessListsOfEveryKindOfEntry)
{
    const Bytes users = Sid(5, {32, 545});
    Bytes objectBody;
    Put32(objectBody, 3);  // both GUIDs follow
    objectBody.insert(objectBody.end(), 32, 0xAB);
    objectBody.insert(objectBody.end(), users.begin(), users.end());
    Bytes callback = users;
    callback.insert(callback.end(), {'a', 'r', 't', 'x', 1, 2, 3, 4});  // the condition after the SID
    const Bytes acl = Acl({Entry(0x00, 0x0B, 0x1F01FF, Sid(5, {18})), Entry(0x01, 0x00, 0x40000, users),
                           Entry(0x05, 0x00, 0x6, objectBody), Entry(0x09, 0x10, 0x2, callback),
                           Entry(0x0A, 0x00, 0x4, callback), Entry(0x11, 0x00, 0x1, Sid(16, {12288}))});
    const std::optional<std::vector<AccessEntry>> entries = ParseAccessList(acl.data(), acl.size());
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 6u);
    using Kind = AccessEntry::Kind;
    const struct {
        Kind kind;
        bool conditional;
        std::uint8_t flags;
        std::uint32_t mask;
        const wchar_t* sid;
    } expected[] = {
        {Kind::Allow, false, 0x0B, 0x1F01FF, L"S-1-5-18"},
        {Kind::Deny, false, 0, 0x40000, L"S-1-5-32-545"},
        {Kind::Allow, false, 0, 0x6, L"S-1-5-32-545"},
        {Kind::Allow, true, 0x10, 0x2, L"S-1-5-32-545"},
        {Kind::Deny, true, 0, 0x4, L"S-1-5-32-545"},
        {Kind::Other, false, 0, 0, L""},  // a mandatory label: neither grants nor denies
    };
    for (size_t i = 0; i < entries->size(); ++i) {
        SCOPED_TRACE(i);
        const AccessEntry& entry = (*entries)[i];
        EXPECT_EQ(entry.kind, expected[i].kind);
        EXPECT_EQ(entry.conditional, expected[i].conditional);
        EXPECT_EQ(entry.flags, expected[i].flags);
        EXPECT_EQ(entry.mask, expected[i].mask);
        EXPECT_EQ(entry.sid, expected[i].sid);
    }

    const Bytes empty = Acl({});
    ASSERT_TRUE(ParseAccessList(empty.data(), empty.size()));
    EXPECT_TRUE(ParseAccessList(empty.data(), empty.size())->empty());
}

TEST(FolderSecurityRules, AMalformedAccessListIsNotRead)
{
    const Bytes good = Acl({Entry(0x00, 0, 0x2, Sid(5, {32, 545}))});
    struct Case {
        const char* what;
        Bytes acl;
        size_t size;
    };
    std::vector<Case> cases;
    cases.push_back({"shorter than its header", good, 7});
    cases.push_back({"its size beyond the bytes there", good, good.size() - 1});
    Bytes moreEntries = good;
    moreEntries[4] = 2;
    cases.push_back({"an entry count beyond its size", moreEntries, moreEntries.size()});
    Bytes longEntry = good;
    longEntry[10] = static_cast<std::uint8_t>(longEntry[10] + 4);
    cases.push_back({"an entry beyond the list", longEntry, longEntry.size()});
    Bytes tinyEntry = good;
    tinyEntry[10] = 2;
    cases.push_back({"an entry shorter than its header", tinyEntry, tinyEntry.size()});
    const Bytes cutSid = Acl({Entry(0x00, 0, 0x2, Bytes{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0})});
    cases.push_back({"a SID cut short", cutSid, cutSid.size()});
    Bytes objectBody;
    Put32(objectBody, 1);
    const Bytes cutObject = Acl({Entry(0x05, 0, 0x2, objectBody)});
    cases.push_back({"an object entry without its GUID", cutObject, cutObject.size()});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(ParseAccessList(c.acl.data(), c.size));
    }
    EXPECT_FALSE(ParseAccessList(nullptr, 0));
}

TEST(FolderSecurityRules, FromTheProgramToTheRoot)
{
    using Role = PathRole;
    const struct {
        const wchar_t* program;
        std::vector<PathStep> steps;
    } cases[] = {
        {L"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe",
         {{L"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe", Role::Program},
          {L"C:\\Program Files\\Tarnwick", Role::Folder},
          {L"C:\\Program Files", Role::FolderAbove},
          {L"C:\\", Role::Root}}},
        {L"C:\\TarnwickSvc.exe", {{L"C:\\TarnwickSvc.exe", Role::Program}, {L"C:\\", Role::Folder}}},
        {L"d:/tools/x.exe", {{L"d:/tools/x.exe", Role::Program}, {L"d:/tools", Role::Folder}, {L"d:/", Role::Root}}},
        {L"\\\\server\\share\\apps\\x.exe",
         {{L"\\\\server\\share\\apps\\x.exe", Role::Program},
          {L"\\\\server\\share\\apps", Role::Folder},
          {L"\\\\server\\share\\", Role::Root}}},
        {L"\\\\?\\C:\\Tools\\x.exe",
         {{L"\\\\?\\C:\\Tools\\x.exe", Role::Program},
          {L"\\\\?\\C:\\Tools", Role::Folder},
          {L"\\\\?\\C:\\", Role::Root}}},
        {L"\\\\?\\UNC\\server\\share\\x.exe",
         {{L"\\\\?\\UNC\\server\\share\\x.exe", Role::Program}, {L"\\\\?\\UNC\\server\\share\\", Role::Folder}}},
        {L"tools\\x.exe", {{L"tools\\x.exe", Role::Program}, {L"tools", Role::Folder}}},
        {L"x.exe", {{L"x.exe", Role::Program}}},
    };
    for (const auto& c : cases) {
        const std::vector<PathStep> steps = ProgramPathSteps(c.program);
        ASSERT_EQ(steps.size(), c.steps.size()) << std::string(c.program, c.program + wcslen(c.program));
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].path, c.steps[i].path);
            EXPECT_EQ(steps[i].role, c.steps[i].role) << i;
        }
    }
    // A folder given with a separator at its end.
    const std::vector<PathStep> folder = FolderPathSteps(L"C:\\Tarnwick\\");
    ASSERT_EQ(folder.size(), 2u);
    EXPECT_EQ(folder[0].path, L"C:\\Tarnwick");
    EXPECT_EQ(folder[0].role, Role::Folder);
    EXPECT_EQ(folder[1].path, L"C:\\");
}

TEST(FolderSecurityRules, WhatTheFindingsSay)
{
    std::vector<PathSecurity> steps(3);
    steps[0] = {L"C:\\Tarnwick\\TarnwickSvc.exe", PathRole::Program, 0, {}};
    Writer owner;
    owner.sid = L"S-1-5-21-1-2-3-1001";
    owner.owner = true;
    owner.rights = file_rights::kWriteDac | file_rights::kDelete;
    Writer users;
    users.sid = kUsersSid;
    users.rights = file_rights::kWriteData | file_rights::kAppendData;
    users.newFileRights = file_rights::kWriteData;
    Writer inherited;
    inherited.sid = L"S-1-5-4";
    inherited.newFileRights = file_rights::kWriteData | file_rights::kDelete;
    inherited.newFolderRights = file_rights::kWriteData;
    steps[1] = {L"C:\\Tarnwick", PathRole::Folder, 0, {owner, users, inherited}};
    steps[2] = {L"C:\\", PathRole::Root, 5, {}};
    const auto name = [](const std::wstring& sid) { return sid == kUsersSid ? std::wstring(L"BUILTIN\\Users") : L""; };
    const auto error = [](std::uint32_t code) { return L"error " + std::to_wstring(code); };
    EXPECT_EQ(PathSecurityText(steps, name, error),
              L"C:\\Tarnwick: S-1-5-21-1-2-3-1001 owns it, and so may change its access list, and may delete or "
              L"rename it; BUILTIN\\Users (S-1-5-32-545) may create files in it, create folders in it; S-1-5-4 may "
              L"write it, delete or rename it (each file created in it later), and create files in it (each folder "
              L"created in it later); C:\\: its owner and access list cannot be read (error 5)");
    EXPECT_FALSE(OnlyTrustedCanChange(steps));
    EXPECT_TRUE(OnlyTrustedCanChange({steps[0]}));

    Writer everyone;
    everyone.sid = kEveryoneSid;
    everyone.nullDacl = true;
    everyone.rights = RightsThatCount(PathRole::Program);
    EXPECT_EQ(PathSecurityText({{L"C:\\x.exe", PathRole::Program, 0, {everyone}}}, name, error),
              L"C:\\x.exe: everyone may do anything with it (it has no access list)");

    EXPECT_EQ(ProtectFolderCommand(L"C:\\Tools\\Tarnwick", {kUsersSid, L"S-1-5-11", L"S-1-5-11", kSystemSid}),
              L"icacls \"C:\\Tools\\Tarnwick\" /setowner *S-1-5-32-544 /T /C & icacls \"C:\\Tools\\Tarnwick\" "
              L"/inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX "
              L"/remove:g *S-1-5-11 & icacls \"C:\\Tools\\Tarnwick\\*\" /reset /T /C");
}

}  // namespace
