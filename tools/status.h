// TarnwickCtl status: what is going on right now.
#pragma once

#include "tools/ctl_output.h"

// The console user, that user's "DisableLockWorkstation" and whether the
// logon marker exists. 0 when it could tell, 1 otherwise.
int ShowStatus(CtlOutput& output);
