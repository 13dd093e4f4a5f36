// The console user's lock policy and the logon marker, following the
// session changes of the machine.
#pragma once

#include "common/driver_config.h"
#include "common/handles.h"
#include "common/win32_api.h"

#include <string>

// "ZQKBFiltrWinLogon", open while a user is logged on (manual-reset, never
// signalled); left to process exit when the service stops.
extern KHandle LogonMarkerEvent;
extern std::wstring LoggedOnUser;

void HandleSessionChange(DWORD eventType);
void ApplyLoggedOnStateAtStart();
void ForgetLoggedOnUser();
// Mode 1: record the console user and write 1. Mode 0: write 0 for the
// recorded user and forget it. Other modes do nothing.
void UpdateLockPolicy(DWORD mode);
void RecreateLogonMarker();
void CloseLogonMarker();
