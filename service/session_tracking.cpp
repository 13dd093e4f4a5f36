#include "service/session_tracking.h"

#include "common/lock_policy.h"
#include "service/service_events.h"
#include "service/service_state.h"

#include <exception>

KHandle LogonMarkerEvent;
std::wstring LoggedOnUser;

namespace {

// The console user, as GetConsoleUserName gives it; a name that cannot be
// stored because memory ran out counts as no user, on the control handler's
// thread as on the service's own.
bool ReadConsoleUser(std::wstring& user)
{
    try {
        return GetConsoleUserName(user);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void HandleSessionChange(DWORD eventType)
{
    if (eventType == WTS_SESSION_LOGON || eventType == WTS_SESSION_UNLOCK) {
        RecreateLogonMarker();
        UpdateLockPolicy(1);
    } else {
        CloseLogonMarker();
        UpdateLockPolicy(0);
    }
}

void ApplyLoggedOnStateAtStart()
{
    std::wstring user;
    if (ReadConsoleUser(user)) {
        RecreateLogonMarker();
        UpdateLockPolicy(1);
    }
}

void ForgetLoggedOnUser()
{
    KLockHolder hold(ServiceLock);
    // With its storage: a stopped service keeps nothing of the user.
    std::wstring().swap(LoggedOnUser);
}

void UpdateLockPolicy(DWORD mode)
{
    KLockHolder hold(ServiceLock);
    if (mode == 1) {
        std::wstring user;
        if (ReadConsoleUser(user)) {
            // Taken over without a copy, which could run out of memory too.
            LoggedOnUser.swap(user);
            SetLockWorkstationPolicy(LoggedOnUser.c_str(), 1);
        } else {
            LoggedOnUser.clear();
        }
    } else if (mode == 0) {
        SetLockWorkstationPolicy(LoggedOnUser.c_str(), 0);
        LoggedOnUser.clear();
    }
}

void RecreateLogonMarker()
{
    KLockHolder hold(ServiceLock);
    // Closed before it is created again, so that the creation makes a new
    // event rather than opening the old one.
    LogonMarkerEvent.Close();
    LogonMarkerEvent.reset(CreateServiceEvent(TRUE, kLogonMarkerName));
}

void CloseLogonMarker()
{
    KLockHolder hold(ServiceLock);
    LogonMarkerEvent.Close();
}
