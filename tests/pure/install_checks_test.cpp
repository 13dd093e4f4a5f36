#include "installer/install_checks.h"
#include "installer/setup_messages.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

bool Has(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
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
        {"first install", {false, false, false, L"1", false, L""}, L""},
        {"first install, hotkeys off", {false, false, false, L"0", false, L""}, L""},
        {"registered by hand", {false, false, false, L"1", true, hand},
         L"Remove that registration first, from an elevated command prompt: \"C:\\Hand Made\\TarnwickSvc.exe\" "
         L"/Uninstall"},
        {"registered, its program unknown", {false, false, false, L"1", true, L""}, L"not by this package"},
        {"an upgrade: the older version's service", {false, true, false, L"1", true, hand}, L""},
        {"maintenance: this version's service", {true, false, false, L"1", true, hand}, L""},
        {"a newer version installed", {false, false, true, L"1", true, hand}, L"A newer version of Tarnwick"},
        {"a newer version and no service", {false, false, true, L"1", false, L""}, L"A newer version of Tarnwick"},
        {"hotkeys 2", {false, false, false, L"2", false, L""}, L"AGENTHOTKEYS must be 0 or 1, not \"2\""},
        {"hotkeys yes, on an upgrade", {false, true, false, L"yes", true, hand}, L"not \"yes\""},
        {"hotkeys with a blank", {false, false, false, L"1 ", false, L""}, L"AGENTHOTKEYS must be"},
        {"policy left alone", {false, false, false, L"1", false, L"", L"0"}, L""},
        {"policy 3", {false, false, false, L"1", false, L"", L"3"},
         L"SOFTWARESAS must be 0 or 1, not \"3\". Nothing was installed or changed."},
        {"policy yes, on an upgrade", {false, true, false, L"1", true, hand, L"yes"}, L"SOFTWARESAS must be"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring refusal = RefusalOf(c.facts);
        if (*c.refusal == L'\0') {
            EXPECT_TRUE(refusal.empty());
        } else {
            EXPECT_TRUE(Has(refusal, c.refusal));
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
        EXPECT_TRUE(Has(SoftwareSasInstallText(c.softwareSas, c.present, c.setByPackage, L"REG_DWORD 2 (0x00000002)"),
                        c.says));
    }
    EXPECT_TRUE(Has(SoftwareSasRemovalText(true), L"SoftwareSASGeneration (HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
                                                  L"Windows\\CurrentVersion\\Policies\\System), which the package set, "
                                                  L"goes with it."));
    EXPECT_TRUE(Has(SoftwareSasRemovalText(false), L"was not set by the package: left as it is."));
}
