// TarnwickCtl check: the check (tools/check/check.h) as text or JSON.
#pragma once

#include "tools/ctl_args.h"
#include "tools/ctl_output.h"

// check [--json]: 0 when the service would start, 1 when it would refuse.
int RunCheckVerb(const CtlCommand& command, KCtlOutput& output);
