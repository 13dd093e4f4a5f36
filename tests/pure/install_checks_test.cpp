#include "installer/install_checks.h"
#include "installer/setup_messages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool Has(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

}  // namespace

TEST(RefusalOf, RefusesADowngradeAWrongAgentHotkeysAndAServiceThePackageDidNotRegister)
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
