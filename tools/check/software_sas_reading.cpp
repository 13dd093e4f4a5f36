#include "tools/check/software_sas_reading.h"

#include "common/handles.h"
#include "common/software_sas.h"

SoftwareSasReading ReadSoftwareSasPolicy()
{
    SoftwareSasReading reading;
    KReg key;
    LONG result = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                                      &key.key);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (result == ERROR_SUCCESS) {
        result = win32.RegQueryValueExW(key.key, kSoftwareSasGeneration, nullptr, &type, nullptr, &size);
    }
    if (result == ERROR_SUCCESS) {
        reading.stored.data.resize(size);
        result = win32.RegQueryValueExW(key.key, kSoftwareSasGeneration, nullptr, &type, reading.stored.data.data(),
                                        &size);
    }
    if (result != ERROR_SUCCESS) {
        reading.stored.data.clear();
        reading.error = result == ERROR_FILE_NOT_FOUND ? 0 : static_cast<std::uint32_t>(result);
        return reading;
    }
    reading.stored.data.resize(size);
    reading.stored.present = true;
    reading.stored.type = type;
    return reading;
}
