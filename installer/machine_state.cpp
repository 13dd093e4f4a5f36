#include "installer/machine_state.h"

#include "common/handles.h"
#include "service/service_registration.h"

#include <vector>

bool FindRegisteredService(std::wstring& imagePath)
{
    imagePath.clear();
    KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return false;
    }
    KScHandle service(win32.OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_CONFIG));
    if (!service) {
        return false;
    }
    DWORD needed = 0;
    win32.QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    if (needed == 0) {
        return true;
    }
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (win32.QueryServiceConfigW(service.get(), config, needed, &needed) && config->lpBinaryPathName != nullptr) {
        imagePath = config->lpBinaryPathName;
    }
    return true;
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
