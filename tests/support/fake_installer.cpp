#include "tests/support/fake_installer.h"

#include <gtest/gtest.h>

FakeInstaller::FakeInstaller(bool strict)
{
    if (strict) {
        strict_.emplace();
    }
    substitutes_.Replace(&Win32Api::MsiCreateRecord, [this](UINT fields) -> MSIHANDLE {
        EXPECT_EQ(fields, 1u);
        if (refuseRecord) {
            return 0;
        }
        records[++lastRecord] = std::vector<std::wstring>(fields + 1);
        return lastRecord;
    });
    substitutes_.Replace(&Win32Api::MsiRecordSetStringW, [this](MSIHANDLE record, UINT field, LPCWSTR text) -> UINT {
        if (records.count(record) == 0 || field >= records[record].size()) {
            return ERROR_INVALID_HANDLE;
        }
        records[record][field] = text;
        return ERROR_SUCCESS;
    });
    substitutes_.Replace(&Win32Api::MsiProcessMessage,
                         [this](MSIHANDLE install, INSTALLMESSAGE kind, MSIHANDLE record) -> int {
        EXPECT_EQ(install, kInstall);
        if (records.count(record) == 0) {
            return -1;
        }
        messages.push_back({kind, records[record]});
        return refuseMessage ? -1 : IDOK;
    });
    substitutes_.Replace(&Win32Api::MsiCloseHandle, [this](MSIHANDLE handle) -> UINT {
        return records.erase(handle) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
    substitutes_.Replace(&Win32Api::MsiGetPropertyW,
                         [this](MSIHANDLE install, LPCWSTR name, LPWSTR value, LPDWORD chars) -> UINT {
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
    });
    substitutes_.Replace(&Win32Api::MsiSetPropertyW, [this](MSIHANDLE install, LPCWSTR name, LPCWSTR value) -> UINT {
        EXPECT_EQ(install, kInstall);
        properties[name] = value;
        return ERROR_SUCCESS;
    });
}

std::wstring FakeInstaller::Lines(INSTALLMESSAGE kind) const
{
    std::wstring lines;
    for (const Message& message : messages) {
        if ((message.kind & 0xFF000000) == (kind & 0xFF000000) && message.fields.size() > 1) {
            lines += message.fields[1] + L"\n";
        }
    }
    return lines;
}
