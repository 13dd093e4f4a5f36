// What the built package holds, read from its tables with Windows Installer's
// database functions: how and as whom each custom action runs. A build tool that drops an attribute shows here
// before any install does.
#include "tests/package/package_support.h"
#include "tests/support/narrow_text.h"

#include <gtest/gtest.h>
#include <msi.h>
#include <msiquery.h>

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
