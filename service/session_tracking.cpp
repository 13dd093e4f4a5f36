#include "service/session_tracking.h"

#include "common/lock_policy.h"
#include "service/service_events.h"
#include "service/service_state.h"

#include <exception>

KHandle LogonMarkerEvent;
std::wstring LoggedOnUserSid;

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

// The console user's SID, as GetConsoleUserSid finds it through the session;
// memory that runs out on the way counts as no user, as above.
bool ReadConsoleUserSid(std::wstring& sid)
{
    try {
        return GetConsoleUserSid(sid);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void HandleSessionChange(DWORD eventType)
{
    // The marker step and the policy step in one holding of ServiceLock (a
    // thread may enter a critical section it holds again, Microsoft
    // documents, and leaves it as often): were it let go in between, the
    // start's check for a user on the other thread could come between them
    // and leave the marker of one update with the value of the other.
    KLockHolder hold(ServiceLock);
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
        // One holding, as for a session change.
        KLockHolder hold(ServiceLock);
        RecreateLogonMarker();
        UpdateLockPolicy(1);
    }
}

void ForgetLoggedOnUser()
{
    KLockHolder hold(ServiceLock);
    // With its storage: a stopped service keeps nothing of the user.
    std::wstring().swap(LoggedOnUserSid);
}

void UpdateLockPolicy(DWORD mode)
{
    KLockHolder hold(ServiceLock);
    if (mode == 1) {
        std::wstring sid;
        if (ReadConsoleUserSid(sid)) {
            // Taken over without a copy, which could run out of memory too.
            LoggedOnUserSid.swap(sid);
            SetLockWorkstationPolicyForSid(LoggedOnUserSid.c_str(), 1);
        } else {
            LoggedOnUserSid.clear();
        }
    } else if (mode == 0) {
        // The recorded SID is enough: by a logoff the session may no longer
        // give its user's token or name. With nobody recorded, the empty
        // account name is looked up like any other, and the value of
        // whatever account the system's lookup finds for it is written.
        if (!LoggedOnUserSid.empty()) {
            SetLockWorkstationPolicyForSid(LoggedOnUserSid.c_str(), 0);
        } else {
            SetLockWorkstationPolicy(L"", 0);
        }
        LoggedOnUserSid.clear();
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
