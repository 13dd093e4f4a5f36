// The package of this build under Wine's msiexec, each case in a Wine prefix
// of its own: a silent install, AGENTHOTKEYS, SOFTWARESAS, an install the
// configuration does not let start, removal, a service registered by hand, a
// failed install.
#include "tests/install/install_as.h"
#include "tests/package/package_support.h"
#include "tests/support/machine_registry.h"
#include "tests/support/narrow_text.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

namespace {

void ExpectProgramsIn(const std::wstring& folder)
{
    for (const std::wstring& program : ShippedPrograms()) {
        EXPECT_TRUE(FileExists(folder + program)) << Narrow(folder + program);
    }
    // The administrative template, for administrators to copy elsewhere.
    for (const wchar_t* file : {L"PolicyDefinitions\\Tarnwick.admx", L"PolicyDefinitions\\en-US\\Tarnwick.adml"}) {
        EXPECT_TRUE(FileExists(folder + file)) << Narrow(folder + file);
    }
}

void ExpectNothingInstalled()
{
    EXPECT_FALSE(FileExists(DefaultFolder())) << "the program folder exists";
    EXPECT_FALSE(QueryTarnwickService().registered) << "TarnwickSvc is registered";
    EXPECT_FALSE(KeyExists(L"SOFTWARE\\Tarnwick"));
}

DWORD LockPolicy()
{
    DWORD value = 0xFFFFFFFF;
    ReadLockPolicy(value);
    return value;
}

}  // namespace

TEST(Package, SilentInstallRegistersAndStartsTheServiceAndWritesTheAgentsHotkeys)
{
    SetUpDriver();
    const MsiRun run = InstallPackage(CurrentPackage());
    ASSERT_EQ(run.exitCode, 0u) << run.log;
    ExpectProgramsIn(DefaultFolder());

    // As "/install" registers it, with a description.
    DWORD value = 0;
    EXPECT_TRUE(ReadDword(ServiceKey(), L"Type", value) && value == 0x110) << value;
    EXPECT_TRUE(ReadDword(ServiceKey(), L"Start", value) && value == SERVICE_AUTO_START) << value;
    EXPECT_TRUE(ReadDword(ServiceKey(), L"ErrorControl", value) && value == SERVICE_ERROR_IGNORE) << value;
    std::wstring text;
    EXPECT_TRUE(ReadString(ServiceKey(), L"DisplayName", text) && text == L"Tarnwick Service") << Narrow(text);
    EXPECT_TRUE(ReadString(ServiceKey(), L"ObjectName", text) && text == L"LocalSystem") << Narrow(text);
    EXPECT_TRUE(ReadString(ServiceKey(), L"Description", text) && text.find(L"hotkeys") != std::wstring::npos)
        << Narrow(text);
    EXPECT_EQ(Narrow(FindRegisteredProgram()), Narrow(DefaultFolder() + L"TarnwickSvc.exe"));

    const ServiceState service = QueryTarnwickService();
    EXPECT_EQ(service.state, DWORD{SERVICE_RUNNING}) << "exit code " << service.exitCode;
    EXPECT_TRUE(LogHas(run, "Tarnwick: TarnwickSvc started.")) << run.log;
    ExpectAgentRunValues(DefaultFolder());
    ExpectAdministratorValuesKept();
    // Only LocalSystem and administrators may send the service its own
    // controls. (Wine keeps no access list of a service: the log says it.)
    EXPECT_TRUE(LogHas(run, "Tarnwick: TarnwickSvc takes its user-defined controls from LocalSystem and "
                            "administrators only."))
        << run.log;
    // SOFTWARESAS=1, the default: the machine policy lets services bring up
    // the secure screen, set by the package and remembered as set by it, and
    // set before the start, whose check has nothing to warn about it.
    EXPECT_EQ(SoftwareSasPolicy(), "REG_DWORD 1");
    DWORD remembered = 0;
    EXPECT_TRUE(ReadDword(L"SOFTWARE\\Tarnwick", L"SoftwareSasSet", remembered) && remembered == 1);
    EXPECT_TRUE(LogHas(run, "Tarnwick: the machine policy SoftwareSASGeneration (HKEY_LOCAL_MACHINE\\SOFTWARE\\"
                            "Microsoft\\Windows\\CurrentVersion\\Policies\\System) is not set: the package sets it "
                            "to 1"))
        << run.log;
    EXPECT_FALSE(LogHas(run, "Tarnwick: warning: value \"SoftwareSASGeneration\"")) << run.log;

    // The same version again changes nothing. (Windows Installer leaves the
    // installed product alone; Wine's installer puts the same files and
    // registration in again and stops the service on the way, which the
    // package starts again.)
    const KeyDump driver = DumpKey(DriverKey());
    const KeyDump registration = DumpKey(ServiceKey());
    const MsiRun again = InstallPackage(CurrentPackage());
    EXPECT_EQ(again.exitCode, 0u) << again.log;
    ExpectProgramsIn(DefaultFolder());
    EXPECT_EQ(DumpKey(DriverKey()), driver);
    EXPECT_EQ(DumpKey(ServiceKey()), registration);
    EXPECT_EQ(QueryTarnwickService().state, DWORD{SERVICE_RUNNING});
}

TEST(Package, AgentHotkeysZeroLeavesTheDriversKeyAlone)
{
    SetUpDriver();
    const KeyDump before = DumpKey(DriverKey());
    const MsiRun run = InstallPackage(CurrentPackage(), L"AGENTHOTKEYS=0");
    ASSERT_EQ(run.exitCode, 0u) << run.log;
    ExpectProgramsIn(DefaultFolder());
    EXPECT_EQ(DumpKey(DriverKey()), before);

    // LWin+L and RWin+L have no "run" now: the service would refuse its
    // start, so it is registered and not started, and the log says why.
    const ServiceState service = QueryTarnwickService();
    EXPECT_TRUE(service.registered);
    EXPECT_NE(service.state, DWORD{SERVICE_RUNNING});
    EXPECT_TRUE(LogHas(run, "Tarnwick: error: hotkey \"LWin+L\", value \"run\": there is no \"run\" value"))
        << run.log;
    EXPECT_TRUE(LogHas(run, "Tarnwick: TarnwickSvc was not started: the service would refuse to start: exit code "
                            "1610 (ERROR_BAD_CONFIGURATION"))
        << run.log;

    const MsiRun removal = RemovePackage(CurrentPackage());
    EXPECT_EQ(removal.exitCode, 0u) << removal.log;
    EXPECT_EQ(DumpKey(DriverKey()), before);
}

TEST(Package, AgentHotkeysOrSoftwareSasOtherThanZeroOrOneIsRefused)
{
    for (const wchar_t* property : {L"AGENTHOTKEYS", L"SOFTWARESAS"}) {
        for (const wchar_t* value : {L"yes", L"2"}) {
            SCOPED_TRACE(Narrow(property) + "=" + Narrow(value));
            const MsiRun run = InstallPackage(CurrentPackage(), std::wstring(property) + L"=" + value);
            EXPECT_EQ(run.exitCode, DWORD{ERROR_INSTALL_FAILURE});
            EXPECT_TRUE(LogHas(run, Narrow(property) + " must be 0 or 1, not \"" + Narrow(value) + "\"")) << run.log;
            ExpectNothingInstalled();
            EXPECT_EQ(SoftwareSasPolicy(), "absent");
        }
    }
}

// An install into a folder that others than SYSTEM, Administrators and
// TrustedInstaller may change, or below one, is refused before anything is
// changed. Under Wine every folder counts as such (it keeps no access lists
// and reports every file as its user's), so the default install shows it;
// which folders count is tested through the seam (tests/installer).
TEST(Package, AFolderThatOthersMayChangeIsRefused)
{
    const MsiRun run = InstallPackage(CurrentPackage(), L"FOLDERCHECK=1");
    EXPECT_EQ(run.exitCode, DWORD{ERROR_INSTALL_FAILURE});
    EXPECT_TRUE(LogHas(run, "the folder C:\\Program Files\\Tarnwick\\ or a folder above it can be changed by "
                            "others than SYSTEM, Administrators and TrustedInstaller"))
        << run.log;
    ExpectNothingInstalled();

    const MsiRun wrong = InstallPackage(CurrentPackage(), L"FOLDERCHECK=yes");
    EXPECT_EQ(wrong.exitCode, DWORD{ERROR_INSTALL_FAILURE});
    EXPECT_TRUE(LogHas(wrong, "FOLDERCHECK=yes is not understood")) << wrong.log;
    ExpectNothingInstalled();
}

// The package sets the machine policy only where it is absent and SOFTWARESAS
// is 1, and its removal takes away only a value that it set.
TEST(Package, SoftwareSasSetsOnlyAnAbsentPolicyAndRemovalTakesAwayOnlyWhatItSet)
{
    struct Case {
        const char* what;
        long long before;  // -1: absent
        const wchar_t* properties;
        const char* installed;
        const char* log;
        const char* removed;
    } const cases[] = {
        {"SOFTWARESAS=0", -1, L"SOFTWARESAS=0", "absent",
         "Tarnwick: SOFTWARESAS is 0: the package leaves the machine policy SoftwareSASGeneration", "absent"},
        {"the administrator's 2", 2, L"", "REG_DWORD 2",
         "SoftwareSASGeneration (HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\"
         "System) is set already, to REG_DWORD 2 (0x00000002): left as it is.",
         "REG_DWORD 2"},
        {"the administrator's 1", 1, L"", "REG_DWORD 1", "is set already, to REG_DWORD 1", "REG_DWORD 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.before >= 0) {
            SetSoftwareSasPolicy(static_cast<DWORD>(c.before));
        }
        const MsiRun install = InstallPackage(CurrentPackage(), c.properties);
        ASSERT_EQ(install.exitCode, 0u) << install.log;
        EXPECT_EQ(SoftwareSasPolicy(), c.installed);
        EXPECT_TRUE(LogHas(install, c.log)) << install.log;
        const MsiRun removal = RemovePackage(CurrentPackage());
        ASSERT_EQ(removal.exitCode, 0u) << removal.log;
        EXPECT_EQ(SoftwareSasPolicy(), c.removed);
        EXPECT_FALSE(KeyExists(L"SOFTWARE\\Tarnwick"));
        EXPECT_TRUE(LogHas(removal, "was not set by the package: left as it is.")) << removal.log;
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                           L"SoftwareSASGeneration");
    }
}

TEST(Package, WithoutTheDriversKeyTheInstallSucceedsAndTheLogSaysWhyTheServiceDoesNotRun)
{
    const MsiRun run = InstallPackage(CurrentPackage());
    ASSERT_EQ(run.exitCode, 0u) << run.log;
    ExpectProgramsIn(DefaultFolder());
    const ServiceState service = QueryTarnwickService();
    EXPECT_TRUE(service.registered);
    EXPECT_NE(service.state, DWORD{SERVICE_RUNNING});
    // The package does not make up the driver's key.
    EXPECT_FALSE(KeyExists(DriverKey()));
    EXPECT_TRUE(LogHas(run, "Tarnwick: error: the hotkey key "
                            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey does not exist"))
        << run.log;
    EXPECT_TRUE(LogHas(run, "Tarnwick: TarnwickSvc was not started: the service would refuse to start: exit code 2 "
                            "(ERROR_FILE_NOT_FOUND"))
        << run.log;
}

TEST(Package, SilentRemovalTakesAwayWhatThePackageWroteAndGivesTheUserTheLockBack)
{
    SetUpDriver();
    const std::wstring folder = L"C:\\Kiosk Tools\\Tarnwick\\";
    const MsiRun install = InstallPackage(CurrentPackage(), L"INSTALLDIR=\"" + folder + L"\"");
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    ExpectProgramsIn(folder);
    EXPECT_FALSE(FileExists(DefaultFolder()));
    EXPECT_EQ(Narrow(FindRegisteredProgram()), Narrow(folder + L"TarnwickSvc.exe"));
    ExpectAgentRunValues(folder);
    ASSERT_EQ(QueryTarnwickService().state, DWORD{SERVICE_RUNNING});
    // The running service holds the console user's lock policy at 1.
    ASSERT_TRUE(WaitUntil([] { return LockPolicy() == 1; }));
    // Two more user profiles: one whose hive is loaded and holds 1, as a
    // logoff whose 0 came too late leaves it, and one whose hive file is
    // gone.
    const std::wstring profiles = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
    const std::wstring other = L"S-1-5-21-7-7-7-1107";
    const std::wstring gone = L"S-1-5-21-7-7-7-1108";
    const std::wstring otherPolicy = other + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    WriteString(profiles + other, L"ProfileImagePath", L"C:\\users\\other");
    WriteString(profiles + gone, L"ProfileImagePath", L"C:\\users\\gone");
    const DWORD one = 1;
    ASSERT_EQ(RegSetKeyValueW(HKEY_USERS, otherPolicy.c_str(), L"DisableLockWorkstation", REG_DWORD, &one, sizeof(one)),
              ERROR_SUCCESS);

    const MsiRun removal = RemovePackage(CurrentPackage());
    ASSERT_EQ(removal.exitCode, 0u) << removal.log;
    EXPECT_FALSE(QueryTarnwickService().registered);
    for (const std::wstring& program : ShippedPrograms()) {
        EXPECT_FALSE(FileExists(folder + program)) << Narrow(program);
    }
    ExpectNoAgentRunValues();
    ExpectAdministratorValuesKept();
    EXPECT_FALSE(KeyExists(L"SOFTWARE\\Tarnwick"));
    EXPECT_EQ(LockPolicy(), 0u);
    DWORD value = 0xFFFFFFFF;
    DWORD size = sizeof(value);
    EXPECT_EQ(RegGetValueW(HKEY_USERS, otherPolicy.c_str(), L"DisableLockWorkstation", RRF_RT_REG_DWORD, nullptr,
                           &value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(LogHas(removal, "Tarnwick: " + Narrow(other) +
                                    ": \"DisableLockWorkstation\" set from 1 to 0 (hive loaded)"))
        << removal.log;
    EXPECT_TRUE(LogHas(removal, "Tarnwick: " + Narrow(gone) + ": skipped: its hive C:\\users\\gone\\NTUSER.DAT cannot "
                                "be found (error 3"))
        << removal.log;
    // The machine policy that the install set is gone with it.
    EXPECT_EQ(SoftwareSasPolicy(), "absent");
    EXPECT_TRUE(LogHas(removal, ", which the package set, goes with it.")) << removal.log;
}

TEST(Package, AServiceRegisteredByHandIsRefusedUntilItIsUninstalled)
{
    SetUpDriver();
    const KeyDump driver = DumpKey(DriverKey());
    const std::wstring handMade = L"C:\\Hand Made\\TarnwickSvc.exe";
    CreateDirectoryW(L"C:\\Hand Made", nullptr);
    CopyFileOrFail(BinPath(L"TarnwickSvc.exe"), handMade);
    // "/install" of that copy, in this process: Wine reports every folder as
    // its user's, where the real program registers nothing.
    ASSERT_EQ(RunCommandLineModeAs(handMade, L"/install"), 0);
    const KeyDump byHand = DumpKey(ServiceKey());

    const MsiRun refused = InstallPackage(CurrentPackage());
    EXPECT_EQ(refused.exitCode, DWORD{ERROR_INSTALL_FAILURE});
    EXPECT_TRUE(LogHas(refused, "The service TarnwickSvc is registered already, but not by this package")) << refused.log;
    EXPECT_TRUE(LogHas(refused, "\"C:\\Hand Made\\TarnwickSvc.exe\" /Uninstall")) << refused.log;
    // Nothing half-installed: the registration as it was, no files, no values.
    EXPECT_EQ(DumpKey(ServiceKey()), byHand);
    EXPECT_FALSE(FileExists(DefaultFolder()));
    EXPECT_EQ(DumpKey(DriverKey()), driver);
    EXPECT_FALSE(KeyExists(L"SOFTWARE\\Tarnwick"));

    // Done as the message says, the package installs, and registers the
    // service as "/install" did.
    ASSERT_EQ(RunProgram(L"\"" + handMade + L"\" /Uninstall").exitCode, 0u);
    const MsiRun install = InstallPackage(CurrentPackage());
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    EXPECT_EQ(QueryTarnwickService().state, DWORD{SERVICE_RUNNING});
    const KeyDump byPackage = DumpKey(ServiceKey());
    for (const wchar_t* name : {L"Type", L"Start", L"ErrorControl", L"DisplayName", L"ObjectName"}) {
        const std::wstring value = ServiceKey() + L"\\" + name;
        ASSERT_EQ(byHand.count(value), 1u) << Narrow(name);
        EXPECT_EQ(byPackage.count(value) == 1 ? byPackage.at(value) : KeyDump::mapped_type(), byHand.at(value))
            << Narrow(name);
    }
}

TEST(Package, AnInstallThatFailsAfterTheServiceStartedLeavesTheMachineAsItWas)
{
    SetUpDriver();
    const KeyDump driver = DumpKey(DriverKey());
    const MsiRun run = InstallPackage(FailingPackage());
    EXPECT_EQ(run.exitCode, DWORD{ERROR_INSTALL_FAILURE});
    // The failure came after the start.
    EXPECT_TRUE(LogHas(run, "Tarnwick: TarnwickSvc started.")) << run.log;
    ExpectNothingInstalled();
    EXPECT_EQ(DumpKey(DriverKey()), driver);
    EXPECT_TRUE(WaitUntil([] { return !ProcessRunning(L"TarnwickSvc.exe"); })) << "TarnwickSvc.exe still runs";
    // The service had taken the console user's lock; the rollback of its
    // start stopped it and gave the lock back.
    EXPECT_TRUE(LogHas(run, "Tarnwick: the install is rolled back: TarnwickSvc is stopped.")) << run.log;
    EXPECT_EQ(LockPolicy(), 0u);
    // The machine policy that the install had set before the failure.
    EXPECT_TRUE(LogHas(run, "is not set: the package sets it to 1")) << run.log;
    EXPECT_EQ(SoftwareSasPolicy(), "absent");
}

// A repair stops the running service on the way; when the configuration no
// longer lets it start, it stays stopped, and the console user gets back the
// lock that the service had taken.
TEST(Package, ARepairThatLeavesTheServiceStoppedGivesTheConsoleUserTheLockBack)
{
    SetUpDriver();
    const MsiRun install = InstallPackage(CurrentPackage());
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    ASSERT_EQ(QueryTarnwickService().state, DWORD{SERVICE_RUNNING});
    ASSERT_TRUE(WaitUntil([] { return LockPolicy() == 1; }));
    // A hotkey of the administrator's own whose "run" the service refuses.
    WriteString(HotkeyKey(L"Ctrl+Shift+F10"), L"Block", L"yes");

    const MsiRun repair = RepairPackage(CurrentPackage(), L"omus");
    ASSERT_EQ(repair.exitCode, 0u) << repair.log;
    EXPECT_TRUE(LogHas(repair, "Tarnwick: TarnwickSvc was not started: the service would refuse to start")) << repair.log;
    EXPECT_NE(QueryTarnwickService().state, DWORD{SERVICE_RUNNING});
    EXPECT_EQ(LockPolicy(), 0u);
    EXPECT_TRUE(LogHas(repair, "Tarnwick: TarnwickSvc is not running; the console user's lock policy: ")) << repair.log;
}

// Windows Installer lets a standard user repair a per-machine product
// ("msiexec /fm {product code} AGENTHOTKEYS=0 INSTALLDIR=..."): the repair
// keeps what the administrator's install chose, and the remembered values
// that the next upgrade goes by stay as they were.
TEST(Package, ARepairKeepsTheSettingsAndTheFolderOfTheInstall)
{
    SetUpDriver();
    const MsiRun install = InstallPackage(CurrentPackage());
    ASSERT_EQ(install.exitCode, 0u) << install.log;
    const KeyDump remembered = DumpKey(L"SOFTWARE\\Tarnwick");
    const KeyDump driver = DumpKey(DriverKey());
    const std::wstring elsewhere = L"C:\\users\\Public\\x\\";

    const MsiRun repair =
        RepairPackage(CurrentPackage(), L"m", L"AGENTHOTKEYS=0 SOFTWARESAS=0 INSTALLDIR=\"" + elsewhere + L"\"");
    ASSERT_EQ(repair.exitCode, 0u) << repair.log;
    EXPECT_EQ(DumpKey(L"SOFTWARE\\Tarnwick"), remembered);
    EXPECT_EQ(DumpKey(DriverKey()), driver);
    ExpectAgentRunValues(DefaultFolder());
    EXPECT_EQ(SoftwareSasPolicy(), "REG_DWORD 1");
    EXPECT_FALSE(FileExists(elsewhere)) << "files in the folder the repair was given";
    EXPECT_EQ(Narrow(FindRegisteredProgram()), Narrow(DefaultFolder() + L"TarnwickSvc.exe"));
    EXPECT_EQ(QueryTarnwickService().state, DWORD{SERVICE_RUNNING});
    for (const char* line : {"Tarnwick: AGENTHOTKEYS=0 is ignored: Tarnwick is installed",
                             "Tarnwick: SOFTWARESAS=0 is ignored: Tarnwick is installed",
                             "Tarnwick: INSTALLDIR=C:\\users\\Public\\x\\ is ignored: Tarnwick is installed, and a "
                             "repair or any other run of the installed version keeps what its install chose, "
                             "C:\\Program Files\\Tarnwick\\."}) {
        EXPECT_TRUE(LogHas(repair, line)) << line << "\n" << repair.log;
    }
}
