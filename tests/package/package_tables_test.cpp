// What the built package holds, read from its tables with Windows Installer's
// database functions: how and as whom each custom action runs, and the access
// list of the program folder. A build tool that drops an attribute shows here
// before any install does.
#include "tests/package/package_support.h"
#include "tests/support/narrow_text.h"

#include <gtest/gtest.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>

#include <map>
#include <string>
#include <vector>

namespace {

using Row = std::vector<std::wstring>;

std::wstring FieldText(MSIHANDLE record, UINT field)
{
    DWORD chars = 0;
    wchar_t empty[1] = {};
    if (MsiRecordGetStringW(record, field, empty, &chars) != ERROR_MORE_DATA) {
        return std::wstring();
    }
    std::vector<wchar_t> text(chars + 1);
    chars = static_cast<DWORD>(text.size());
    MsiRecordGetStringW(record, field, text.data(), &chars);
    return std::wstring(text.data(), chars);
}

// Every row of a query on the package of this build, `fields` fields each,
// as text (a number as its digits, a null field empty).
std::vector<Row> Query(const std::wstring& sql, UINT fields)
{
    std::vector<Row> rows;
    MSIHANDLE database = 0;
    const UINT opened = MsiOpenDatabaseW(CurrentPackage().c_str(), MSIDBOPEN_READONLY, &database);
    EXPECT_EQ(opened, 0u) << "the package cannot be opened";
    if (opened != ERROR_SUCCESS) {
        return rows;
    }
    MSIHANDLE view = 0;
    if (MsiDatabaseOpenViewW(database, sql.c_str(), &view) == ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS) {
        MSIHANDLE record = 0;
        while (MsiViewFetch(view, &record) == ERROR_SUCCESS) {
            Row row;
            for (UINT field = 1; field <= fields; ++field) {
                row.push_back(FieldText(record, field));
            }
            rows.push_back(row);
            MsiCloseHandle(record);
        }
        MsiViewClose(view);
        MsiCloseHandle(view);
    }
    MsiCloseHandle(database);
    return rows;
}

bool TableExists(const wchar_t* table)
{
    MSIHANDLE database = 0;
    if (MsiOpenDatabaseW(CurrentPackage().c_str(), MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS) {
        ADD_FAILURE() << "the package cannot be opened";
        return false;
    }
    const MSICONDITION state = MsiDatabaseIsTablePersistentW(database, table);
    MsiCloseHandle(database);
    return state == MSICONDITION_TRUE;
}

// The bits of the CustomAction table's Type column, as Microsoft documents
// them.
constexpr int kDll = 0x1;             // a function of a DLL in the Binary table
constexpr int kReturnIgnored = 0x40;  // msidbCustomActionTypeContinue
constexpr int kRollback = 0x100;      // only on a rollback
constexpr int kInScript = 0x400;      // deferred: in the installation script
constexpr int kNoImpersonate = 0x800; // as LocalSystem

struct Sequenced {
    std::wstring condition;
    int sequence = 0;
};

std::map<std::wstring, Sequenced> ExecuteSequence()
{
    std::map<std::wstring, Sequenced> actions;
    for (const Row& row : Query(L"SELECT `Action`, `Condition`, `Sequence` FROM `InstallExecuteSequence`", 3)) {
        actions[row[0]] = {row[1], std::stoi(row[2])};
    }
    return actions;
}

}  // namespace

TEST(PackageTables, EveryCustomActionRunsWhenAndAsWhomItMust)
{
    struct Case {
        const wchar_t* action;
        int type;
        const char* why;
    } const cases[] = {
        {L"ReadInstallDir", kDll, "immediate, before costing"},
        {L"ReadSettings", kDll, "immediate, before costing"},
        {L"CheckInstall", kDll, "immediate: refuses before anything is changed"},
        {L"ReadSoftwareSasRemoval", kDll | kReturnIgnored, "immediate, on removal"},
        {L"SecureTarnwickService", kDll | kInScript | kNoImpersonate, "deferred, as LocalSystem; fails the install"},
        {L"StartTarnwickService", kDll | kInScript | kNoImpersonate | kReturnIgnored,
         "deferred, as LocalSystem; never fails the install"},
        {L"StopTarnwickService", kDll | kInScript | kRollback | kNoImpersonate | kReturnIgnored,
         "only on a rollback, as LocalSystem"},
        {L"LockPolicyZero", kDll | kInScript | kNoImpersonate | kReturnIgnored, "deferred, as LocalSystem, on removal"},
    };
    std::map<std::wstring, int> types;
    for (const Row& row : Query(L"SELECT `Action`, `Type`, `Source`, `Target` FROM `CustomAction`", 4)) {
        types[row[0]] = std::stoi(row[1]);
        EXPECT_EQ(Narrow(row[2]), "TarnwickSetup") << Narrow(row[0]);
        EXPECT_EQ(row[3], row[0]) << "the entry point of " << Narrow(row[0]);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.action));
        ASSERT_EQ(types.count(c.action), 1u) << "not in the CustomAction table";
        EXPECT_EQ(types[c.action], c.type) << c.why;
        types.erase(c.action);
    }
    for (const auto& unknown : types) {
        ADD_FAILURE() << "a custom action this test does not know: " << Narrow(unknown.first) << " type "
                      << unknown.second;
    }

    // A rollback action is written into the rollback script when the script
    // reaches it: it stands before the start it undoes, on the same runs.
    const std::map<std::wstring, Sequenced> sequence = ExecuteSequence();
    ASSERT_EQ(sequence.count(L"StopTarnwickService"), 1u);
    ASSERT_EQ(sequence.count(L"StartTarnwickService"), 1u);
    EXPECT_LT(sequence.at(L"StopTarnwickService").sequence, sequence.at(L"StartTarnwickService").sequence);
    EXPECT_EQ(sequence.at(L"StopTarnwickService").condition, sequence.at(L"StartTarnwickService").condition);
}

// Windows Installer 5.0 sets the access list of MsiLockPermissionsEx on the
// folder when CreateFolders makes it, before InstallFiles copies the programs
// into it, which then inherit it.
TEST(PackageTables, TheProgramFolderGetsAProtectedAccessListOfItsOwn)
{
    // Microsoft: a package with both tables fails with error 1941.
    EXPECT_FALSE(TableExists(L"LockPermissions"));
    const std::vector<Row> locks =
        Query(L"SELECT `LockObject`, `Table`, `SDDLText`, `Condition` FROM `MsiLockPermissionsEx`", 4);
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(Narrow(locks[0][0]), "INSTALLDIR");
    EXPECT_EQ(Narrow(locks[0][1]), "CreateFolder");
    EXPECT_EQ(Narrow(locks[0][3]), "") << "applied on every run";
    const std::vector<Row> folders = Query(L"SELECT `Directory_`, `Component_` FROM `CreateFolder`", 2);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(Narrow(folders[0][0]), "INSTALLDIR");
    EXPECT_EQ(Narrow(folders[0][1]), "Service") << "the component that every install has";
    const std::map<std::wstring, Sequenced> sequence = ExecuteSequence();
    ASSERT_EQ(sequence.count(L"CreateFolders"), 1u);
    ASSERT_EQ(sequence.count(L"InstallFiles"), 1u);
    EXPECT_LT(sequence.at(L"CreateFolders").sequence, sequence.at(L"InstallFiles").sequence);

    // The descriptor as Windows reads the text: owned by SYSTEM, a protected
    // access list with exactly SYSTEM and administrators full control and
    // users read and execute, each passed on to files and subfolders.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(locks[0][2].c_str(), SDDL_REVISION_1,
                                                                     &descriptor, nullptr))
        << Narrow(locks[0][2]) << ": error " << GetLastError();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the parent's list would be inherited";
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(IsWellKnownSid(owner, WinLocalSystemSid)) << "owner";
    BOOL present = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    struct Expected {
        WELL_KNOWN_SID_TYPE sid;
        ACCESS_MASK mask;
    } const expected[] = {
        {WinLocalSystemSid, FILE_ALL_ACCESS},
        {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
        {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
    };
    ASSERT_EQ(dacl->AceCount, 3u);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &entry));
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Mask, expected[i].mask);
        EXPECT_TRUE(IsWellKnownSid(const_cast<DWORD*>(&ace->SidStart), expected[i].sid));
    }
    LocalFree(descriptor);
}

// A secure property reaches the part of the install that runs as LocalSystem
// also from a user who is not an administrator. Only the properties that
// FindRelatedProducts sets are (Microsoft's ICE61 asks for them); the
// package's own settings come from administrators only.
TEST(PackageTables, OnlyTheUpgradeTablesPropertiesAreSecure)
{
    const std::vector<Row> secure =
        Query(L"SELECT `Value` FROM `Property` WHERE `Property` = 'SecureCustomProperties'", 1);
    ASSERT_EQ(secure.size(), 1u);
    EXPECT_EQ(Narrow(secure[0][0]), "WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED");
    for (const Row& upgrade : Query(L"SELECT `ActionProperty` FROM `Upgrade`", 1)) {
        EXPECT_NE(secure[0][0].find(upgrade[0]), std::wstring::npos) << Narrow(upgrade[0]);
    }
}
