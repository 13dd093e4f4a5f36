#include "installer/install_checks.h"
#include "installer/setup_messages.h"
#include "tests/support/text_contains.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

InstallFacts Facts(bool installed, bool older, bool newer, const std::wstring& hotkeys, bool registered,
                   const std::wstring& imagePath, const std::wstring& softwareSas = L"1",
                   const std::wstring& folderCheck = L"1", const std::wstring& openFolder = L"")
{
    InstallFacts facts;
    facts.installed = installed;
    facts.olderFound = older;
    facts.newerFound = newer;
    facts.agentHotkeys = hotkeys;
    facts.serviceRegistered = registered;
    facts.serviceImagePath = imagePath;
    facts.softwareSas = softwareSas;
    facts.folderCheck = folderCheck;
    facts.folder = L"D:\\Apps\\Tarnwick\\";
    facts.openFolder = openFolder;
    return facts;
}

}  // namespace

TEST(RefusalOf, RefusesADowngradeAWrongSettingAndAServiceThePackageDidNotRegister)
{
    const std::wstring hand = L"\"C:\\Hand Made\\TarnwickSvc.exe\"";
    struct Case {
        const char* what;
        InstallFacts facts;
        const wchar_t* refusal;  // a part of the message, or empty: the install goes on
    } const cases[] = {
        {"first install", Facts(false, false, false, L"1", false, L""), L""},
        {"first install, hotkeys off", Facts(false, false, false, L"0", false, L""), L""},
        {"registered by hand", Facts(false, false, false, L"1", true, hand),
         L"Remove that registration first, from an elevated command prompt: \"C:\\Hand Made\\TarnwickSvc.exe\" "
         L"/Uninstall"},
        {"registered, its program unknown", Facts(false, false, false, L"1", true, L""), L"not by this package"},
        {"an upgrade: the older version's service", Facts(false, true, false, L"1", true, hand), L""},
        {"maintenance: this version's service", Facts(true, false, false, L"1", true, hand), L""},
        {"a newer version installed", Facts(false, false, true, L"1", true, hand), L"A newer version of Tarnwick"},
        {"a newer version and no service", Facts(false, false, true, L"1", false, L""), L"A newer version of Tarnwick"},
        {"hotkeys 2", Facts(false, false, false, L"2", false, L""), L"AGENTHOTKEYS must be 0 or 1, not \"2\""},
        {"hotkeys yes, on an upgrade", Facts(false, true, false, L"yes", true, hand), L"not \"yes\""},
        {"hotkeys with a blank", Facts(false, false, false, L"1 ", false, L""), L"AGENTHOTKEYS must be"},
        {"policy left alone", Facts(false, false, false, L"1", false, L"", L"0"), L""},
        {"policy 3", Facts(false, false, false, L"1", false, L"", L"3"),
         L"SOFTWARESAS must be 0 or 1, not \"3\". Nothing was installed or changed."},
        {"policy yes, on an upgrade", Facts(false, true, false, L"1", true, hand, L"yes"), L"SOFTWARESAS must be"},
        // A folder of the programs that others may change, unless the check
        // is switched off.
        {"an open folder", Facts(false, false, false, L"1", false, L"", L"1", L"1", L"D:\\Apps: BUILTIN\\Users may delete"),
         L"the folder D:\\Apps\\Tarnwick\\ or a folder above it can be changed by others than SYSTEM, "
         L"Administrators and TrustedInstaller (D:\\Apps: BUILTIN\\Users may delete)"},
        {"an open folder, on an upgrade", Facts(false, true, false, L"1", true, hand, L"1", L"1", L"D:\\Apps: x"),
         L"FOLDERCHECK=0 skips this check"},
        {"an open folder, not checked", Facts(false, false, false, L"1", false, L"", L"1", L"0", L""), L""},
        {"folder check 2", Facts(false, false, false, L"1", false, L"", L"1", L"2", L""),
         L"FOLDERCHECK=2 is not understood"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring refusal = RefusalOf(c.facts);
        if (*c.refusal == L'\0') {
            EXPECT_TRUE(refusal.empty());
        } else {
            EXPECT_TRUE(Contains(refusal, c.refusal));
        }
    }
}

TEST(UninstallCommandFor, QuotesTheRegisteredProgramUnlessItIsQuotedAlready)
{
    EXPECT_EQ(UninstallCommandFor(L"\"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe\""),
              L"\"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe\" /Uninstall");
    EXPECT_EQ(UninstallCommandFor(L"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe"),
              L"\"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe\" /Uninstall");
    EXPECT_EQ(UninstallCommandFor(L""), L"\"TarnwickSvc.exe\" /Uninstall");
}

// The package holds the machine policy SoftwareSASGeneration (writes it, and
// takes it away on removal) only with SOFTWARESAS=1, where the value is
// absent or was set by the package; the log says which.
TEST(SoftwareSas, ThePackageHoldsOnlyAnAbsentValueOrOneItSetItself)
{
    struct Case {
        bool softwareSas;
        bool present;
        bool setByPackage;
        bool holds;
        const wchar_t* says;
    } const cases[] = {
        {true, false, false, true, L"is not set: the package sets it to 1"},
        {true, true, true, true, L"was set by the package: it stays set."},
        {true, true, false, false, L"is set already, to REG_DWORD 2 (0x00000002): left as it is."},
        {false, false, false, false, L"SOFTWARESAS is 0: the package leaves the machine policy"},
        {false, true, true, false, L"SOFTWARESAS is 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.says, c.says + std::wcslen(c.says)));
        EXPECT_EQ(PackageHoldsSoftwareSas(c.softwareSas, c.present, c.setByPackage), c.holds);
        EXPECT_TRUE(Contains(SoftwareSasInstallText(c.softwareSas, c.present, c.setByPackage, L"REG_DWORD 2 (0x00000002)"),
                        c.says));
    }
    EXPECT_TRUE(Contains(SoftwareSasRemovalText(true), L"SoftwareSASGeneration (HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
                                                  L"Windows\\CurrentVersion\\Policies\\System), which the package set, "
                                                  L"goes with it."));
    EXPECT_TRUE(Contains(SoftwareSasRemovalText(false), L"was not set by the package: left as it is."));
}

// An install takes a given value; a run of the installed product keeps what
// the installed version was given, and says when it ignores a given value.
TEST(ChooseSetting, ARunOfTheInstalledProductKeepsWhatItsInstallChose)
{
    struct Case {
        const char* what;
        bool maintenance;
        const wchar_t* given;
        const wchar_t* remembered;
        const wchar_t* fallback;
        bool folder;
        const wchar_t* value;
        SettingSource source;
        bool ignored;
    } const cases[] = {
        {"install, given", false, L"0", L"1", L"1", false, L"0", SettingSource::Given, false},
        {"upgrade, not given", false, L"", L"0", L"1", false, L"0", SettingSource::Remembered, false},
        {"first install, not given", false, L"", L"", L"1", false, L"1", SettingSource::Default, false},
        {"install, folder given", false, L"D:\\Kiosk\\", L"C:\\Program Files\\Tarnwick\\", L"", true, L"D:\\Kiosk\\",
         SettingSource::Given, false},
        {"repair, another value", true, L"0", L"1", L"1", false, L"1", SettingSource::Remembered, true},
        {"repair, the same value", true, L"1", L"1", L"1", false, L"1", SettingSource::Remembered, false},
        {"repair, nothing remembered", true, L"0", L"", L"1", false, L"1", SettingSource::Default, true},
        {"repair, nothing given", true, L"", L"0", L"1", false, L"0", SettingSource::Remembered, false},
        {"repair, another folder", true, L"C:\\Users\\Public\\x\\", L"C:\\Program Files\\Tarnwick\\", L"", true,
         L"C:\\Program Files\\Tarnwick\\", SettingSource::Remembered, true},
        {"repair, the folder in other letters", true, L"c:\\program files\\TARNWICK", L"C:\\Program Files\\Tarnwick\\",
         L"", true, L"C:\\Program Files\\Tarnwick\\", SettingSource::Remembered, false},
        {"repair, a folder and none remembered", true, L"C:\\Users\\Public\\x\\", L"", L"", true, L"",
         SettingSource::Default, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SettingChoice choice = ChooseSetting(c.maintenance, c.given, c.remembered, c.fallback, c.folder);
        EXPECT_TRUE(choice.value == c.value);
        EXPECT_EQ(choice.source, c.source);
        EXPECT_EQ(choice.givenIgnored, c.ignored);
    }
    EXPECT_EQ(SettingText(L"AGENTHOTKEYS", L"1", false, true), L"AGENTHOTKEYS is 1 (as the installed version had it).");
    EXPECT_TRUE(Contains(IgnoredSettingText(L"AGENTHOTKEYS", L"0", L"1", true),
                    L"AGENTHOTKEYS=0 is ignored: Tarnwick is installed, and a repair or any other run of the installed "
                    L"version keeps what its install chose, 1. To change it, remove Tarnwick"));
    EXPECT_TRUE(Contains(IgnoredSettingText(L"INSTALLDIR", L"C:\\x\\", L"", false), L"keeps what its install chose, the "
                                                                                L"default folder."));
}
