#include "service/install.h"

#include "common/folder_security.h"
#include "common/handles.h"
#include "common/profile_lock_policy.h"
#include "service/command_line_rules.h"
#include "service/launcher.h"
#include "service/service_registration.h"
#include "service/stop_timing.h"

#include <exception>
#include <string>

namespace {

// Who may do what with the service: the access that the service manager
// gives a new service (LocalSystem: start, stop, query, interrogate and its
// user-defined controls; administrators: everything; interactive users and
// service accounts: query, interrogate, enumerate the dependants, read the
// security), except that interactive users and service accounts may not
// send user-defined controls (SERVICE_USER_DEFINED_CONTROL, "CR"). So the
// secure-attention control reaches the service only from LocalSystem (the
// agent, which runs under the service's own account) and administrators.
constexpr const wchar_t* kServiceAccess = L"D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
                                          L"(A;;CCLCSWLORC;;;IU)(A;;CCLCSWLORC;;;SU)";

}  // namespace

bool RestrictServiceControl(SC_HANDLE service)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!win32.ConvertStringSecurityDescriptorToSecurityDescriptorW(kServiceAccess, SDDL_REVISION_1, &descriptor,
                                                                    nullptr)) {
        return false;
    }
    const KLocalBlock owned(descriptor);
    return win32.SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, descriptor) != FALSE;
}

bool RestrictRegisteredServiceControl()
{
    const KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return false;
    }
    const KScHandle service(win32.OpenServiceW(manager.get(), kServiceName, WRITE_DAC));
    return service && RestrictServiceControl(service.get());
}

bool InstallService(const wchar_t* programPath)
{
    KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        return false;
    }
    const std::wstring binaryPath = std::wstring(L"\"") + programPath + L"\"";
    KScHandle service(win32.CreateServiceW(manager.get(), kServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS,
                                           kServiceType, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                                           binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        return false;
    }
    if (!RestrictServiceControl(service.get())) {
        // Not left registered with access for every logged-on user.
        win32.DeleteService(service.get());
        return false;
    }
    service.Close();
    manager.Close();
    return true;
}

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status)
{
    DWORD needed = 0;
    return win32.QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                      sizeof(status), &needed) != FALSE;
}

bool StopDependentServices(SC_HANDLE service, SC_HANDLE manager)
{
    const DWORD start = win32.GetTickCount();
    DWORD bytesNeeded = 0;
    DWORD count = 0;
    if (win32.EnumDependentServicesW(service, SERVICE_ACTIVE, nullptr, 0, &bytesNeeded, &count)) {
        return true;
    }
    if (win32.GetLastError() != ERROR_MORE_DATA) {
        return false;
    }
    const HANDLE heap = win32.GetProcessHeap();
    if (heap == nullptr) {
        return false;
    }
    KHeapBlock list(heap, win32.HeapAlloc(heap, HEAP_ZERO_MEMORY, bytesNeeded));
    if (!list) {
        return false;
    }
    auto* dependents = static_cast<ENUM_SERVICE_STATUSW*>(list.get());
    if (!win32.EnumDependentServicesW(service, SERVICE_ACTIVE, dependents, bytesNeeded, &bytesNeeded, &count)) {
        return false;
    }
    for (DWORD i = 0; i < count; ++i) {
        KScHandle dependent(win32.OpenServiceW(manager, dependents[i].lpServiceName,
                                               SERVICE_STOP | SERVICE_QUERY_STATUS));
        if (!dependent) {
            return false;
        }
        SERVICE_STATUS_PROCESS status = {};
        if (!win32.ControlService(dependent.get(), SERVICE_CONTROL_STOP, reinterpret_cast<SERVICE_STATUS*>(&status))) {
            return false;
        }
        while (status.dwCurrentState != SERVICE_STOPPED) {
            win32.Sleep(status.dwWaitHint);
            if (!QueryStatus(dependent.get(), status)) {
                return false;
            }
            if (status.dwCurrentState == SERVICE_STOPPED) {
                break;
            }
            if (TimeLimitPassed(start, win32.GetTickCount(), kStopLimitMs)) {
                return false;
            }
        }
    }
    return true;
}

bool StopService()
{
    const DWORD start = win32.GetTickCount();
    KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        return false;
    }
    KScHandle service(win32.OpenServiceW(manager.get(), kServiceName,
                                         SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS));
    if (!service) {
        return false;
    }
    // Every way out below closes the service handle, then the manager handle.
    SERVICE_STATUS_PROCESS status = {};
    if (!QueryStatus(service.get(), status) || status.dwCurrentState == SERVICE_STOPPED) {
        return true;
    }
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        win32.Sleep(StopPendingPause(status.dwWaitHint));
        if (!QueryStatus(service.get(), status) || status.dwCurrentState == SERVICE_STOPPED) {
            return true;
        }
        if (TimeLimitPassed(start, win32.GetTickCount(), kStopLimitMs)) {
            return true;
        }
    }
    StopDependentServices(service.get(), manager.get());
    if (!win32.ControlService(service.get(), SERVICE_CONTROL_STOP, reinterpret_cast<SERVICE_STATUS*>(&status)) ||
        status.dwCurrentState == SERVICE_STOPPED) {
        return true;
    }
    for (;;) {
        win32.Sleep(status.dwWaitHint);
        if (!QueryStatus(service.get(), status) || status.dwCurrentState == SERVICE_STOPPED) {
            return true;
        }
        if (TimeLimitPassed(start, win32.GetTickCount(), kStopLimitMs)) {
            return true;
        }
    }
}

bool DeleteServiceEntry()
{
    KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        return false;
    }
    KScHandle service(win32.OpenServiceW(manager.get(), kServiceName, DELETE));
    if (!service) {
        return false;
    }
    win32.DeleteService(service.get());
    return true;
}

namespace {

// The service leaves a user's lock policy at 1 wherever it could not write
// 0: a stop leaves the logged-on user's value in place so that a restart
// finds it, a shutdown stops the service without a session change, and at
// a logoff the user's hive may be unloaded already. While the service runs
// that does no harm, since it writes 1 at every logon anyway; once it is
// gone nothing would ever lower these values again, so removal gives every
// user profile of the PC back the lock. Nothing of this step changes the
// exit code; memory that runs out ends it with the values as they are then.
void GiveEveryUserBackTheLock()
{
    try {
        LowerLockPolicyOfEveryProfile();
    } catch (const std::exception&) {
    }
}

int RunSwitch(const wchar_t* argument)
{
    switch (ParseServiceSwitch(argument)) {
    case ServiceSwitch::Install: {
        const std::wstring path = GetModulePath();
        if (path.size() <= 1) {
            return -1;
        }
        // The service runs this file as LocalSystem, and Windows looks for
        // a DLL that is not a known DLL in the program's folder first:
        // whoever may change the file, its folder or a folder above it
        // could run code of theirs as LocalSystem. Such a program is not
        // registered.
        if (!OnlyTrustedCanChangeProgram(path)) {
            return -1;
        }
        return InstallService(path.c_str()) ? 0 : -1;
    }
    case ServiceSwitch::Uninstall: {
        if (!StopService()) {
            return -1;
        }
        const bool deleted = DeleteServiceEntry();
        GiveEveryUserBackTheLock();
        return deleted ? 0 : -1;
    }
    case ServiceSwitch::Unknown:
        break;
    }
    return -1;
}

}  // namespace

int RunCommandLineMode(const wchar_t* argument)
{
    try {
        return RunSwitch(argument);
    } catch (const std::exception&) {
        // Memory that runs out (the program's path, the quoted path) fails
        // the mode like any other failure; the handles are closed on the way.
        return -1;
    }
}
