#include "service/service_events.h"

#include "common/driver_config.h"
#include "common/handles.h"

namespace {

// Whether the event's owner is SYSTEM or the Administrators group, the only
// owners whose access list nobody else could have chosen.
bool OwnedBySystemOrAdministrators(HANDLE event)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (win32.GetSecurityInfo(event, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const KLocalBlock owned(descriptor);
    return owner != nullptr &&
           (win32.IsWellKnownSid(owner, WinLocalSystemSid) || win32.IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
}

}  // namespace

HANDLE CreateServiceEvent(BOOL manualReset, const wchar_t* name)
{
    // Without a security descriptor, an event created by LocalSystem gets
    // the service's default DACL, which gives administrators no right to
    // set it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!win32.ConvertStringSecurityDescriptorToSecurityDescriptorW(kServiceEventSecurity, SDDL_REVISION_1,
                                                                    &descriptor, nullptr)) {
        return nullptr;
    }
    const KLocalBlock owned(descriptor);
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    win32.SetLastError(ERROR_SUCCESS);
    KHandle event(win32.CreateEventW(&attributes, manualReset, FALSE, name));
    // CreateEventW opens an event of that name that exists already, and its
    // security stays what its creator gave it, whatever is passed here. One
    // that someone else made while the service was down (so that he could
    // set a hotkey, or keep the marker alive) is not used. One of SYSTEM or
    // Administrators is: the driver may create the hotkey events itself.
    if (event && win32.GetLastError() == ERROR_ALREADY_EXISTS && !OwnedBySystemOrAdministrators(event.get())) {
        event.Close();
        win32.SetLastError(ERROR_INVALID_OWNER);
        return nullptr;
    }
    return event.release();
}
