// The custom actions' side of Windows Installer (properties, log lines)
// against Windows Installer's functions in the seam: every record made is
// closed, whatever fails, and a property is read whatever its length.
#include "installer/msi_session.h"
#include "tests/support/strict_win32.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr MSIHANDLE kInstall = 0x10;

// Windows Installer's records and properties, in memory.
class FakeInstaller {
public:
    FakeInstaller()
    {
        win32.MsiCreateRecord = [this](UINT fields) -> MSIHANDLE {
            EXPECT_EQ(fields, 1u);
            if (refuseRecord) {
                return 0;
            }
            records[++lastRecord] = std::vector<std::wstring>(fields + 1);
            return lastRecord;
        };
        win32.MsiRecordSetStringW = [this](MSIHANDLE record, UINT field, LPCWSTR text) -> UINT {
            if (records.count(record) == 0 || field >= records[record].size()) {
                return ERROR_INVALID_HANDLE;
            }
            records[record][field] = text;
            return ERROR_SUCCESS;
        };
        win32.MsiProcessMessage = [this](MSIHANDLE install, INSTALLMESSAGE kind, MSIHANDLE record) -> int {
            EXPECT_EQ(install, kInstall);
            if (records.count(record) == 0) {
                return -1;
            }
            messages.push_back({kind, records[record]});
            return refuseMessage ? -1 : IDOK;
        };
        win32.MsiCloseHandle = [this](MSIHANDLE handle) -> UINT {
            return records.erase(handle) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
        };
        win32.MsiGetPropertyW = [this](MSIHANDLE install, LPCWSTR name, LPWSTR value, LPDWORD chars) -> UINT {
            EXPECT_EQ(install, kInstall);
            ++propertyReads;
            const std::wstring stored = properties.count(name) != 0 ? properties[name] : std::wstring();
            if (*chars <= stored.size()) {
                *chars = static_cast<DWORD>(stored.size());
                if (value != nullptr && *chars > 0) {
                    value[0] = L'\0';
                }
                return ERROR_MORE_DATA;
            }
            stored.copy(value, stored.size());
            value[stored.size()] = L'\0';
            *chars = static_cast<DWORD>(stored.size());
            return ERROR_SUCCESS;
        };
        win32.MsiSetPropertyW = [this](MSIHANDLE install, LPCWSTR name, LPCWSTR value) -> UINT {
            EXPECT_EQ(install, kInstall);
            properties[name] = value;
            return ERROR_SUCCESS;
        };
    }

    struct Message {
        INSTALLMESSAGE kind;
        std::vector<std::wstring> fields;
    };

    bool refuseRecord = false;
    bool refuseMessage = false;
    std::map<MSIHANDLE, std::vector<std::wstring>> records;  // the open ones
    std::vector<Message> messages;
    std::map<std::wstring, std::wstring> properties;
    int propertyReads = 0;

private:
    StrictWin32Override api_;
    MSIHANDLE lastRecord = 0x100;
};

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
