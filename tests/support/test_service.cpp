#include "tests/support/test_service.h"

#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

SERVICE_STATUS_PROCESS QueryServiceState(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                         &needed);
    return status;
}

SERVICE_STATUS_PROCESS WaitForServiceState(SC_HANDLE service, DWORD state)
{
    SERVICE_STATUS_PROCESS status = {};
    WaitUntil(
        [&] {
            status = QueryServiceState(service);
            return status.dwCurrentState == state || status.dwCurrentState == SERVICE_STOPPED;
        },
        30000);
    return status;
}

TestService::TestService(const std::wstring& name, DWORD type) : name_(name), type_(type)
{
    manager_.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    EXPECT_TRUE(manager_) << "OpenSCManagerW: " << GetLastError();
    Remove();
}

TestService::~TestService()
{
    Remove();
}

SERVICE_STATUS_PROCESS TestService::Start()
{
    if (!service_) {
        const std::wstring binary = L"\"" + BinPath(L"TarnwickSvc.exe") + L"\"";
        service_.reset(CreateServiceW(manager_.get(), name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                      type_, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                      binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_TRUE(service_) << "CreateServiceW: " << GetLastError();
        if (!service_) {
            return SERVICE_STATUS_PROCESS{};
        }
    }
    EXPECT_TRUE(StartServiceW(service_.get(), 0, nullptr)) << "StartServiceW: " << GetLastError();
    return WaitForServiceState(service_.get(), SERVICE_RUNNING);
}

SERVICE_STATUS_PROCESS TestService::Stop()
{
    SERVICE_STATUS status = {};
    EXPECT_TRUE(ControlService(service_.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
    return WaitForServiceState(service_.get(), SERVICE_STOPPED);
}

void TestService::Remove()
{
    service_.Close();
    if (!manager_) {
        return;
    }
    KScHandle service(OpenServiceW(manager_.get(), name_.c_str(), SERVICE_ALL_ACCESS));
    if (!service) {
        return;
    }
    if (QueryServiceState(service.get()).dwCurrentState != SERVICE_STOPPED) {
        SERVICE_STATUS status = {};
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        WaitForServiceState(service.get(), SERVICE_STOPPED);
    }
    DeleteService(service.get());
}
