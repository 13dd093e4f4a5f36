// The service's process-wide state that the entry, the status reports and
// the control handler share, its one lock, and the reset of all of the
// service's process-wide state.
#pragma once

#include "common/critical_section.h"
#include "common/win32_api.h"

extern SERVICE_STATUS_HANDLE StatusHandle;
extern SERVICE_STATUS ServiceStatus;
extern DWORD CheckPointCounter;
extern HANDLE StopEvent;
// Serialises command launches with session-tracking updates and guards the
// recorded user and the logon marker.
extern KCriticalSection ServiceLock;
