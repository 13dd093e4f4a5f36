#include "agent/secure_attention_request.h"

#include "agent/key_forwarding.h"
#include "common/handles.h"
#include "common/software_sas_policy.h"
#include "service/service_registration.h"

bool RequestSecureAttentionFromService()
{
    // The service refuses without the policy. The agent reads the policy
    // itself as well: Wine's service manager reports a user-defined control
    // as done whatever the service answered, and Windows' documentation of
    // ControlService does not promise the service's own error to its caller
    // (it names ERROR_INVALID_SERVICE_CONTROL for a control "unacceptable to
    // the service").
    if (!ServicesMaySimulateSas()) {
        return false;
    }
    const KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return false;
    }
    const KScHandle service(win32.OpenServiceW(manager.get(), kServiceName, SERVICE_USER_DEFINED_CONTROL));
    if (!service) {
        return false;
    }
    SERVICE_STATUS status = {};
    return win32.ControlService(service.get(), kSecureAttentionControl, &status) != FALSE;
}

void SendSecureAttentionLocally()
{
    if (!RequestSecureAttentionFromService()) {
        SendLocalCtrlAltDel();
    }
}
