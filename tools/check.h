// TarnwickCtl check: reads the driver's hotkey configuration the way the
// service's next start will, and says whether the service would start and
// why not. It reads through the service's own code (ReadHotkeyNames,
// ReadHotkeyConfig), creates, opens, sets and resets no event and writes
// nothing.
#pragma once

#include "tools/check_rules.h"
#include "tools/ctl_args.h"
#include "tools/ctl_output.h"

// What a start of the service would do with the configuration as it is now.
CheckResult CheckConfiguration();

// check [--json]: 0 when the service would start, 1 when it would refuse.
int CheckVerb(const CtlCommand& command, CtlOutput& output);
