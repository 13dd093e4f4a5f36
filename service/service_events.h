// Creating the service's named events (the hotkey events and the logon
// marker) with the security that lets SYSTEM and Administrators, and nobody
// else, set them and wait on them.
#pragma once

#include "common/win32_api.h"

// CreateEventW, not signalled, with kServiceEventSecurity. Null when the
// event or its security descriptor cannot be made, with the last error of
// the call that failed; null with ERROR_INVALID_OWNER when an event of that
// name exists already and is owned by neither SYSTEM nor Administrators.
HANDLE CreateServiceEvent(BOOL manualReset, const wchar_t* name);
