// TarnwickCtl status [--json]: what is going on right now.
#pragma once

#include "tools/ctl_args.h"
#include "tools/ctl_output.h"
#include "tools/status_report.h"

// The service's registration and state, the console user and that user's
// "DisableLockWorkstation", the logon marker, and the versions of the
// programs beside the tool. `complete` is false when part of it could not
// be found out (a message for each such part goes to `output`'s errors).
StatusReport GatherStatus(KCtlOutput& output, bool& complete);

// 0 when it could tell, 1 otherwise.
int RunStatusVerb(const CtlCommand& command, KCtlOutput& output);
