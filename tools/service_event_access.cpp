#include "tools/service_event_access.h"

#include "common/driver_config.h"

KHandle OpenServiceEvent(const std::wstring& name, DWORD access, DWORD& error)
{
    error = ERROR_FILE_NOT_FOUND;
    for (const std::wstring& candidate : ServiceEventNamesToOpen(name)) {
        KHandle event(win32.OpenEventW(access, FALSE, candidate.c_str()));
        if (event) {
            error = ERROR_SUCCESS;
            return event;
        }
        const DWORD failed = win32.GetLastError();
        if (error == ERROR_FILE_NOT_FOUND && failed != ERROR_SUCCESS) {
            error = failed;
        }
    }
    return KHandle();
}
