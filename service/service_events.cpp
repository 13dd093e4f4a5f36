#include "service/service_events.h"

#include "common/driver_config.h"
#include "common/handles.h"

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
    const KLocalMemory owned(descriptor);
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    return win32.CreateEventW(&attributes, manualReset, FALSE, name);
}
