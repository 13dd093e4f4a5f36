// The console user's lock policy once the package leaves TarnwickSvc
// stopped. The service writes "DisableLockWorkstation" = 1 for the console
// user at its start and a stopped service keeps the value, so whenever the
// package stops the service and does not start it again (a rollback), or
// does not leave it running (an install, repair or upgrade whose service does
// not start), it sets that value from 1 to 0, as removal does for every user
// profile.
#pragma once

#include "installer/service_start.h"

// The console user's value (HKEY_USERS\<SID>\...\Policies\System): 1 goes to
// 0; absent or anything else stays as it is. Reports one line: the user's
// SID and what was done, or that nobody is logged on at the console.
void GiveConsoleUserTheLockBack(const ReportLine& report);

// StartServiceIfConfigured; when the service is not running afterwards (not
// started, stopped during its start, or refused by the service manager),
// GiveConsoleUserTheLockBack. A service still starting after the watch is
// left to write its own value.
ServiceStart StartServiceOrGiveTheLockBack(const ReportLine& report);

// The rollback of the start: stops the service (StopService) and gives the
// console user the lock back.
void StopServiceAndGiveTheLockBack(const ReportLine& report);
