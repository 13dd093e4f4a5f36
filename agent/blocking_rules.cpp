#include "agent/blocking_rules.h"

#include "common/driver_config.h"
#include "common/names.h"

std::wstring PolicyValueName(const wchar_t* name)
{
    if (NamesEqual(name, L"LWin+L") || NamesEqual(name, L"RWin+L")) {
        return L"Win+L";
    }
    return name != nullptr ? name : L"";
}

bool SettingBlocks(bool readSucceeded, const std::uint8_t (&buffer)[4])
{
    return readSucceeded && DwordFromBytes(buffer) == 1;
}
