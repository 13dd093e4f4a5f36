#include "tools/check/software_sas_reading.h"

#include "common/handles.h"
#include "common/registry_reading.h"
#include "common/software_sas.h"

SoftwareSasReading ReadSoftwareSasPolicy()
{
    SoftwareSasReading reading;
    KReg key;
    LONG result = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                                      &key.key);
    DWORD type = REG_NONE;
    if (result == ERROR_SUCCESS) {
        result = ReadRegistryValue(key.key, kSoftwareSasGeneration, type, reading.stored.data);
    }
    if (result != ERROR_SUCCESS) {
        reading.error = result == ERROR_FILE_NOT_FOUND ? 0 : static_cast<std::uint32_t>(result);
        return reading;
    }
    reading.stored.present = true;
    reading.stored.type = type;
    return reading;
}
