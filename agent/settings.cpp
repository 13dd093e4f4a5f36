#include "agent/settings.h"

#include "agent/blocking_rules.h"
#include "common/driver_config.h"
#include "common/handles.h"

#include <string>

namespace {

// Reads a value of an open key into a 4-byte buffer of zeros; true when it
// is 1 (see SettingBlocks).
bool ValueBlocks(HKEY key, const wchar_t* valueName)
{
    std::uint8_t buffer[4] = {0, 0, 0, 0};
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    const LONG result = win32.RegQueryValueExW(key, valueName, nullptr, &type, buffer, &size);
    return SettingBlocks(result == ERROR_SUCCESS, buffer);
}

}  // namespace

LocalBlock LocalActionBlock(const wchar_t* hotkeyName)
{
    KReg reg;
    const std::wstring subkey = HotkeySubkeyPath(hotkeyName);
    if (win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_QUERY_VALUE, &reg.key) == ERROR_SUCCESS &&
        ValueBlocks(reg.key, kBlockLocalValue)) {
        return LocalBlock::BlockLocal;
    }
    reg.Close();

    const std::wstring policyValue = PolicyValueName(hotkeyName);
    if (win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKeyboardFilterKeyPath, 0, KEY_QUERY_VALUE, &reg.key) ==
            ERROR_SUCCESS &&
        ValueBlocks(reg.key, policyValue.c_str())) {
        return LocalBlock::KeyboardFilterPolicy;
    }
    return LocalBlock::None;
}

bool IsLocalActionBlocked(const wchar_t* hotkeyName)
{
    return LocalActionBlock(hotkeyName) != LocalBlock::None;
}
