// A minimal service for tests: it reports RUNNING at once and stops when it
// is asked to. The tests register it under the name below, as a dependant of
// another service.
#include <windows.h>

namespace {

wchar_t kServiceName[] = L"TarnwickTestDependent";

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void Report(DWORD state)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID)
{
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
    }
    return NO_ERROR;
}

void WINAPI Main(DWORD, LPWSTR*)
{
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, Handler, nullptr);
    if (statusHandle == nullptr || stopEvent == nullptr) {
        return;
    }
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, INFINITE);
    CloseHandle(stopEvent);
    stopEvent = nullptr;
    Report(SERVICE_STOPPED);
}

}  // namespace

int wmain()
{
    SERVICE_TABLE_ENTRYW table[] = {{kServiceName, Main}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherW(table);
    return 0;
}
