#include "installer/msi_session.h"

#include "common/handles.h"

#include <vector>

void WriteMessage(MSIHANDLE install, INSTALLMESSAGE kind, const std::wstring& text)
{
    const KMsiHandle record(win32.MsiCreateRecord(1));
    if (!record) {
        return;
    }
    win32.MsiRecordSetStringW(record.get(), 0, L"[1]");
    win32.MsiRecordSetStringW(record.get(), 1, text.c_str());
    win32.MsiProcessMessage(install, kind, record.get());
}

void Log(MSIHANDLE install, const std::wstring& text)
{
    WriteMessage(install, INSTALLMESSAGE_INFO, L"Tarnwick: " + text);
}

std::wstring GetProperty(MSIHANDLE install, const wchar_t* name)
{
    // Microsoft: with a buffer too small, MsiGetPropertyW gives
    // ERROR_MORE_DATA and the value's length without its terminating null.
    DWORD chars = 0;
    wchar_t empty[1] = {};
    if (win32.MsiGetPropertyW(install, name, empty, &chars) != ERROR_MORE_DATA) {
        return std::wstring();
    }
    std::vector<wchar_t> value(chars + 1);
    chars = static_cast<DWORD>(value.size());
    if (win32.MsiGetPropertyW(install, name, value.data(), &chars) != ERROR_SUCCESS) {
        return std::wstring();
    }
    return std::wstring(value.data(), chars);
}

void SetProperty(MSIHANDLE install, const wchar_t* name, const std::wstring& value)
{
    win32.MsiSetPropertyW(install, name, value.c_str());
}
