#include "common/software_sas_policy.h"

#include "common/handles.h"
#include "common/software_sas.h"

std::optional<DWORD> ReadSoftwareSasGeneration()
{
    KReg key;
    if (win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                            &key.key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD value = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof(value);
    if (win32.RegQueryValueExW(key.key, kSoftwareSasGeneration, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

bool ServicesMaySimulateSas()
{
    return SoftwareSasAllowsServices(ReadSoftwareSasGeneration());
}
