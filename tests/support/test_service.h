// Test support: the real TarnwickSvc.exe registered with Wine's service
// manager under a test's own service name, started, stopped and removed.
#pragma once

#include "common/handles.h"

#include <windows.h>

#include <string>

SERVICE_STATUS_PROCESS QueryServiceState(SC_HANDLE service);

// Waits (up to 30 s) until the service is in `state` or has stopped, and
// returns its status.
SERVICE_STATUS_PROCESS WaitForServiceState(SC_HANDLE service, DWORD state);

class TestService {
public:
    // Opens the service manager and removes a registration of that name that
    // an interrupted run left behind. `type` is the type Start registers it
    // with: own process, and interactive (0x110, as the service registers
    // itself) when asked for.
    explicit TestService(const std::wstring& name, DWORD type = SERVICE_WIN32_OWN_PROCESS);
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    // Registers TarnwickSvc.exe (demand start, own process) unless it is
    // registered already, starts it and returns its status once it runs or
    // has stopped.
    SERVICE_STATUS_PROCESS Start();
    // Sends a stop and returns the status once it has stopped.
    SERVICE_STATUS_PROCESS Stop();
    // Stops the service if it runs, and deletes it.
    void Remove();

    SC_HANDLE Handle() const { return service_.get(); }

private:
    std::wstring name_;
    DWORD type_;
    KScHandle manager_;
    KScHandle service_;
};
