// The custom actions' side of Windows Installer (properties, log lines)
// against Windows Installer's functions in the seam: every record made is
// closed, whatever fails, and a property is read whatever its length.
#include "installer/msi_session.h"
#include "tests/support/fake_installer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr MSIHANDLE kInstall = FakeInstaller::kInstall;

TEST(MsiSession, ALogLineGoesInAsAFieldOfARecordThatIsClosedWhateverHappens)
{
    {
        SCOPED_TRACE("written");
        FakeInstaller installer;
        Log(kInstall, L"the [ProductName] text");
        WriteMessage(kInstall, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK), L"refused");
        ASSERT_EQ(installer.messages.size(), 2u);
        EXPECT_EQ(installer.messages[0].kind, INSTALLMESSAGE_INFO);
        EXPECT_EQ(installer.messages[0].fields, (std::vector<std::wstring>{L"[1]", L"Tarnwick: the [ProductName] text"}));
        EXPECT_EQ(installer.messages[1].kind, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK));
        EXPECT_EQ(installer.messages[1].fields, (std::vector<std::wstring>{L"[1]", L"refused"}));
        EXPECT_TRUE(installer.records.empty()) << "a record left open";
    }
    {
        SCOPED_TRACE("the message refused");
        FakeInstaller installer;
        installer.refuseMessage = true;
        Log(kInstall, L"x");
        EXPECT_EQ(installer.messages.size(), 1u);
        EXPECT_TRUE(installer.records.empty()) << "a record left open";
    }
    {
        SCOPED_TRACE("no record");
        FakeInstaller installer;
        installer.refuseRecord = true;
        Log(kInstall, L"x");
        EXPECT_TRUE(installer.messages.empty());
    }
}

TEST(MsiSession, APropertyIsReadWhateverItsLength)
{
    FakeInstaller installer;
    const std::wstring folder = L"C:\\" + std::wstring(600, L'f') + L"\\";
    SetProperty(kInstall, L"INSTALLDIR", folder);
    SetProperty(kInstall, L"One", L"1");
    EXPECT_EQ(GetProperty(kInstall, L"INSTALLDIR"), folder);
    EXPECT_EQ(GetProperty(kInstall, L"One"), L"1");
    EXPECT_EQ(GetProperty(kInstall, L"Unset"), L"");
    EXPECT_EQ(installer.propertyReads, 6) << "the length, then the value";
}

}  // namespace
