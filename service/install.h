// Installation and removal of the service from the command line.
#pragma once

#include "common/win32_api.h"

// Registers `programPath` (unquoted) as the automatically started LocalSystem
// service "TarnwickSvc", with RestrictServiceControl; a registration whose
// access cannot be restricted is deleted again.
bool InstallService(const wchar_t* programPath);

// Sets the service's access list (DACL) to what the service manager gives a
// new service, less the right to send user-defined controls for everyone but
// LocalSystem and administrators. The handle needs WRITE_DAC.
bool RestrictServiceControl(SC_HANDLE service);

// RestrictServiceControl for the registered "TarnwickSvc".
bool RestrictRegisteredServiceControl();

// Stops the service and its active dependants. False only when the service
// manager or the service cannot be opened.
bool StopService();

bool StopDependentServices(SC_HANDLE service, SC_HANDLE manager);

// Reads the current status of an open service (SERVICE_QUERY_STATUS).
bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status);

// Deletes the service. False only when the service manager or the service
// cannot be opened.
bool DeleteServiceEntry();

// The command-line mode for exactly one argument; returns the exit code,
// 0 or -1.
int RunCommandLineMode(const wchar_t* argument);
