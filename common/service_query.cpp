#include "common/service_query.h"

#include "common/handles.h"

#include <vector>

bool ReadServiceStatus(SC_HANDLE service, ServiceFacts& facts)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!win32.QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                                    &needed)) {
        facts.error = win32.GetLastError();
        return false;
    }
    facts.statusRead = true;
    facts.state = status.dwCurrentState;
    facts.exitCode = status.dwWin32ExitCode;
    facts.serviceExitCode = status.dwServiceSpecificExitCode;
    return true;
}

bool ReadServiceRegistration(SC_HANDLE service, ServiceFacts& facts)
{
    // Called with no buffer, QueryServiceConfigW fails with
    // ERROR_INSUFFICIENT_BUFFER and gives the size it needs.
    DWORD needed = 0;
    win32.QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed > sizeof(QUERY_SERVICE_CONFIGW) ? needed : sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!win32.QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed)) {
        facts.error = win32.GetLastError();
        return false;
    }
    facts.configRead = true;
    facts.serviceType = config->dwServiceType;
    facts.startType = config->dwStartType;
    facts.imagePath = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"";
    return true;
}

ServiceFacts QueryService(const wchar_t* name, ServiceParts parts)
{
    ServiceFacts facts;
    const KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        facts.error = win32.GetLastError();
        return facts;
    }
    facts.managerOpened = true;
    const bool status = parts != ServiceParts::Registration;
    const bool registration = parts != ServiceParts::Status;
    const DWORD access = (status ? SERVICE_QUERY_STATUS : 0) | (registration ? SERVICE_QUERY_CONFIG : 0);
    const KScHandle service(win32.OpenServiceW(manager.get(), name, access));
    if (!service) {
        facts.error = win32.GetLastError();
        return facts;
    }
    facts.installed = true;
    if (status) {
        ReadServiceStatus(service.get(), facts);
    }
    if (registration) {
        ReadServiceRegistration(service.get(), facts);
    }
    return facts;
}
