// The service's process-wide state that the entry, the status reports and
// the control handler share, its one lock, and the reset of all of the
// service's process-wide state.
#pragma once

#include "common/critical_section.h"
#include "common/handles.h"
#include "common/win32_api.h"

extern SERVICE_STATUS_HANDLE StatusHandle;
extern SERVICE_STATUS ServiceStatus;
extern DWORD CheckPointCounter;
// Unnamed, auto-reset; the last of the wait handles while the service runs.
extern KHandle StopEvent;
// Serialises command launches with session-tracking updates and guards the
// recorded user and the logon marker.
extern KCriticalSection ServiceLock;

// Puts all of the service's process-wide state (this file's, the hotkey
// table's and the session tracking's) back to the values a new process
// starts with, closing every handle it still holds. For a process that runs
// the service more than once, as tests do.
void ResetServiceState();
