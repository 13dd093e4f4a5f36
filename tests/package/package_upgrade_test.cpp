// Upgrade and downgrade between the package of this build and one of a lower
// version built from the same sources (the test older_package builds it),
// each case in a Wine prefix of its own.
//
// Wine's installer still counts a product as installed after an upgrade
// removed it, so a downgrade is tried on a machine that never had the older
// version.
#include "tests/package/package_support.h"
#include "tests/support/narrow_text.h"

#include <gtest/gtest.h>

namespace {

void ExpectVersionIn(const std::wstring& folder, const std::string& version)
{
    for (const std::wstring& program : ShippedPrograms()) {
        EXPECT_EQ(FileVersionOf(folder + program), version) << Narrow(folder + program);
    }
}

}  // namespace

TEST(PackageUpgrade, AHigherVersionReplacesTheProgramsAndKeepsTheServiceAndEveryHotkeyValue)
{
    ASSERT_STRNE(TW_OLDER_VERSION, TW_CURRENT_VERSION);
    SetUpDriver();
    const MsiRun older = InstallPackage(OlderPackage());
    ASSERT_EQ(older.exitCode, 0u) << older.log;
    ExpectVersionIn(DefaultFolder(), TW_OLDER_VERSION);
    ASSERT_EQ(QueryTarnwickService().state, DWORD{SERVICE_RUNNING});
    // A value the administrator added later, beside one the package wrote.
    WriteDword(HotkeyKey(L"ctrl+alt+del"), L"BlockLocal", 1);
    const KeyDump hotkeys = DumpKey(DriverKey());

    const MsiRun upgrade = InstallPackage(CurrentPackage());
    ASSERT_EQ(upgrade.exitCode, 0u) << upgrade.log;
    ExpectVersionIn(DefaultFolder(), TW_CURRENT_VERSION);
    EXPECT_EQ(Narrow(FindRegisteredProgram()), Narrow(DefaultFolder() + L"TarnwickSvc.exe"));
    EXPECT_EQ(QueryTarnwickService().state, DWORD{SERVICE_RUNNING});
    EXPECT_TRUE(LogHas(upgrade, "Tarnwick: TarnwickSvc started.")) << upgrade.log;
    EXPECT_EQ(DumpKey(DriverKey()), hotkeys);
    // The machine policy that the older version set stays set, and the
    // package still knows that it set it: its removal takes it away.
    EXPECT_EQ(SoftwareSasPolicy(), "REG_DWORD 1");
    const MsiRun removal = RemovePackage(CurrentPackage());
    ASSERT_EQ(removal.exitCode, 0u) << removal.log;
    EXPECT_EQ(SoftwareSasPolicy(), "absent");
}

TEST(PackageUpgrade, AnUpgradeKeepsTheFolderAndTheSettingsOfTheInstalledVersion)
{
    SetUpDriver();
    const KeyDump driver = DumpKey(DriverKey());
    const std::wstring folder = L"C:\\Kiosk\\Tarnwick\\";
    const MsiRun older =
        InstallPackage(OlderPackage(), L"AGENTHOTKEYS=0 SOFTWARESAS=0 INSTALLDIR=\"" + folder + L"\"");
    ASSERT_EQ(older.exitCode, 0u) << older.log;
    ExpectVersionIn(folder, TW_OLDER_VERSION);

    // Given no properties, the upgrade goes by what the older one was given.
    const MsiRun upgrade = InstallPackage(CurrentPackage());
    ASSERT_EQ(upgrade.exitCode, 0u) << upgrade.log;
    ExpectVersionIn(folder, TW_CURRENT_VERSION);
    EXPECT_FALSE(FileExists(DefaultFolder()));
    EXPECT_EQ(Narrow(FindRegisteredProgram()), Narrow(folder + L"TarnwickSvc.exe"));
    EXPECT_EQ(DumpKey(DriverKey()), driver);
    EXPECT_TRUE(LogHas(upgrade, "Tarnwick: AGENTHOTKEYS is 0 (as the installed version had it).")) << upgrade.log;
    EXPECT_TRUE(LogHas(upgrade, "Tarnwick: SOFTWARESAS is 0 (as the installed version had it).")) << upgrade.log;
    EXPECT_EQ(SoftwareSasPolicy(), "absent");
}

TEST(PackageUpgrade, ALowerVersionOverAHigherOneIsRefused)
{
    SetUpDriver();
    const MsiRun current = InstallPackage(CurrentPackage());
    ASSERT_EQ(current.exitCode, 0u) << current.log;
    const ServiceState running = QueryTarnwickService();
    ASSERT_EQ(running.state, DWORD{SERVICE_RUNNING});
    const KeyDump driver = DumpKey(DriverKey());

    const MsiRun older = InstallPackage(OlderPackage());
    EXPECT_EQ(older.exitCode, DWORD{ERROR_INSTALL_FAILURE});
    EXPECT_TRUE(LogHas(older, "A newer version of Tarnwick is installed already.")) << older.log;
    ExpectVersionIn(DefaultFolder(), TW_CURRENT_VERSION);
    const ServiceState after = QueryTarnwickService();
    EXPECT_EQ(after.state, DWORD{SERVICE_RUNNING});
    EXPECT_EQ(after.processId, running.processId);
    EXPECT_EQ(DumpKey(DriverKey()), driver);
}
