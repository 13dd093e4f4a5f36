#include "service/hotkey_config.h"

#include "common/driver_config.h"
#include "common/handles.h"

#include <cwchar>

bool EnumHotkeyNames(HKEY key, std::vector<std::wstring>& names, DWORD& error)
{
    wchar_t className[260] = {};
    DWORD classChars = 260;
    DWORD subkeys = 0;
    const LONG queried = win32.RegQueryInfoKeyW(key, className, &classChars, nullptr, &subkeys, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, nullptr);
    if (queried != ERROR_SUCCESS && subkeys == 0) {
        // Nothing was counted because the key could not be asked: its error,
        // not that of a key without hotkeys.
        error = static_cast<DWORD>(queried);
        return false;
    }
    error = ERROR_NO_MORE_ITEMS;
    for (DWORD index = 0; index < subkeys; ++index) {
        wchar_t name[256] = {};
        DWORD nameChars = 255;
        FILETIME written = {};
        const LONG result = win32.RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, &written);
        if (result == ERROR_SUCCESS) {
            names.emplace_back(name);
        } else {
            error = static_cast<DWORD>(result);
        }
    }
    return names.size() == subkeys;
}

bool ReadRunCommand(HKEY subkey, std::wstring& command, DWORD& error)
{
    DWORD size = 0;
    LONG result = win32.RegQueryValueExW(subkey, L"run", nullptr, nullptr, nullptr, &size);
    if (result != ERROR_SUCCESS) {
        error = result == ERROR_FILE_NOT_FOUND ? ERROR_BAD_CONFIGURATION : static_cast<DWORD>(result);
        return false;
    }
    // Whole characters for every stored byte, an odd trailing byte included,
    // and one more that stays zero, so the text always ends inside the buffer.
    const size_t chars = (static_cast<size_t>(size) + 1) / 2 + 1;
    std::vector<wchar_t> buffer(chars, L'\0');
    DWORD type = 0;
    result = win32.RegQueryValueExW(subkey, L"run", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS) {
        error = static_cast<DWORD>(result);
        return false;
    }
    if (type != REG_SZ) {
        error = ERROR_BAD_CONFIGURATION;
        return false;
    }
    buffer[chars - 1] = L'\0';
    command = buffer.data();
    return true;
}

bool ReadHotkeyNames(std::vector<std::wstring>& names, DWORD& error)
{
    KReg hotkeyKey;
    const LONG result = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHotkeyKeyPath, 0, KEY_READ, &hotkeyKey.key);
    if (result != ERROR_SUCCESS) {
        error = static_cast<DWORD>(result);
        return false;
    }
    if (!EnumHotkeyNames(hotkeyKey.key, names, error)) {
        // A name too long for the enumeration buffer is a configuration fault.
        if (error == ERROR_MORE_DATA) {
            error = ERROR_BAD_CONFIGURATION;
        }
        return false;
    }
    if (names.empty() || names.size() > kMaxHotkeys) {
        error = ERROR_BAD_CONFIGURATION;
        return false;
    }
    return true;
}

bool ReadHotkeyConfig(const std::wstring& name, HotkeyEntry& entry, DWORD& error)
{
    if (name.size() >= kHotkeyNameChars || HotkeyEventIsTheLogonMarker(name)) {
        error = ERROR_BAD_CONFIGURATION;
        return false;
    }
    wmemcpy(entry.name, name.c_str(), name.size() + 1);

    // Each subkey is opened afresh by its full path.
    KReg subkey;
    const LONG opened =
        win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, HotkeySubkeyPath(entry.name).c_str(), 0, KEY_READ, &subkey.key);
    if (opened != ERROR_SUCCESS) {
        error = static_cast<DWORD>(opened);
        return false;
    }

    // A shorter value fills only the low-order bytes; the rest stay 0.
    BYTE block[4] = {};
    DWORD blockSize = sizeof(block);
    DWORD blockType = 0;
    const bool blockRead =
        win32.RegQueryValueExW(subkey.key, L"Block", nullptr, &blockType, block, &blockSize) == ERROR_SUCCESS;
    entry.block = blockRead ? DwordFromBytes(block) : 0;

    std::wstring command;
    if (!ReadRunCommand(subkey.key, command, error)) {
        return false;
    }
    if (command.size() >= kHotkeyCommandChars) {
        error = ERROR_BAD_CONFIGURATION;
        return false;
    }
    wmemcpy(entry.command, command.c_str(), command.size() + 1);
    return true;
}
