#include "common/registry_reading.h"

namespace {

// The longest value name the registry allows, and the longest key name, in
// characters and with the terminating NUL (Microsoft: "Registry element
// size limits").
constexpr DWORD kValueNameChars = 16384;
constexpr DWORD kKeyNameChars = 256;

}  // namespace

LONG ReadRegistryValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data)
{
    type = REG_NONE;
    data.clear();
    DWORD size = 0;
    LONG result = win32.RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    std::vector<BYTE> buffer;
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        buffer.resize(size);
        result = win32.RegQueryValueExW(key, name, nullptr, &type, buffer.empty() ? nullptr : buffer.data(), &size);
        if (result == ERROR_SUCCESS) {
            buffer.resize(size);
            data.swap(buffer);
            return ERROR_SUCCESS;
        }
    }
    type = REG_NONE;
    return result;
}

LONG ReadRegistryString(HKEY key, const wchar_t* name, std::wstring& text)
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    const LONG result = ReadRegistryValue(key, name, type, data);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_SZ) {
        return ERROR_INVALID_DATATYPE;
    }
    std::wstring value(data.size() / sizeof(wchar_t), L'\0');
    for (size_t i = 0; i < value.size(); ++i) {
        value[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    const size_t end = value.find(L'\0');
    if (end != std::wstring::npos) {
        value.resize(end);
    }
    text.swap(value);
    return ERROR_SUCCESS;
}

LONG ReadValueNames(HKEY key, std::vector<std::wstring>& names)
{
    std::vector<wchar_t> name(kValueNameChars);
    for (DWORD index = 0;; ++index) {
        DWORD chars = kValueNameChars;
        const LONG result = win32.RegEnumValueW(key, index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
        names.emplace_back(name.data(), chars);
    }
}

LONG ReadSubkeyNames(HKEY key, std::vector<std::wstring>& names)
{
    wchar_t name[kKeyNameChars];
    for (DWORD index = 0;; ++index) {
        DWORD chars = kKeyNameChars;
        const LONG result = win32.RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
        names.emplace_back(name, chars);
    }
}
