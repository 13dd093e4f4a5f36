#include "installer/machine_state.h"

#include "common/error_text.h"
#include "common/folder_security.h"
#include "common/handles.h"
#include "common/registry_reading.h"
#include "common/service_query.h"
#include "common/software_sas.h"
#include "service/service_registration.h"
#include "tools/registry_values.h"

#include <vector>

bool FindRegisteredService(std::wstring& imagePath)
{
    const ServiceFacts service = QueryService(kServiceName, ServiceParts::Registration);
    imagePath = service.imagePath;
    return service.installed;
}

bool DriverKeyExists()
{
    KReg key;
    return win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriverKeyPath, 0, KEY_READ, &key.key) == ERROR_SUCCESS;
}

std::wstring ReadRememberedSetting(const wchar_t* name)
{
    KReg key;
    if (win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, &key.key) !=
        ERROR_SUCCESS) {
        return std::wstring();
    }
    wchar_t value[MAX_PATH + 1] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    if (win32.RegQueryValueExW(key.key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::wstring();
    }
    return value;
}

SoftwareSasFacts ReadSoftwareSasFacts()
{
    SoftwareSasFacts facts;
    KReg policies;
    if (win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                            &policies.key) == ERROR_SUCCESS) {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        const LONG read = ReadRegistryValue(policies.key, kSoftwareSasGeneration, type, data);
        // Present also when only its data could not be read.
        facts.present = read != ERROR_FILE_NOT_FOUND;
        if (read == ERROR_SUCCESS) {
            facts.shown = FormatValue(type, data);
        }
    }
    KReg settings;
    if (win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                            &settings.key) == ERROR_SUCCESS) {
        DWORD value = 0;
        DWORD type = REG_NONE;
        DWORD size = sizeof(value);
        facts.setByPackage = win32.RegQueryValueExW(settings.key, kSoftwareSasSetValue, nullptr, &type,
                                                    reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                             type == REG_DWORD && size == sizeof(value) && value == 1;
    }
    return facts;
}

std::wstring WhoElseMayChangeFolder(const std::wstring& folder)
{
    std::vector<PathSecurity> steps;
    for (PathSecurity& step : ReadFolderPathSecurity(folder)) {
        if (step.error == ERROR_FILE_NOT_FOUND || step.error == ERROR_PATH_NOT_FOUND) {
            continue;  // not there yet
        }
        steps.push_back(step);
    }
    if (OnlyTrustedCanChange(steps)) {
        return std::wstring();
    }
    return PathSecurityText(
        steps, [](const std::wstring& sid) { return AccountNameOfSid(sid); },
        [](std::uint32_t error) { return ExplainError(error); });
}
