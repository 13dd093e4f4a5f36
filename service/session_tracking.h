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
// The SID string of the user recorded at the last logon or unlock; empty
// when nobody is recorded. What is written at lock or logoff goes to this
// account, whatever the session can still tell by then.
extern std::wstring LoggedOnUserSid;

void HandleSessionChange(DWORD eventType);
void ApplyLoggedOnStateAtStart();
void ForgetLoggedOnUser();
// Mode 1: record the console user's SID and write 1 for it. Mode 0: write 0
// for the recorded SID and forget it. Other modes do nothing.
void UpdateLockPolicy(DWORD mode);
void RecreateLogonMarker();
void CloseLogonMarker();
