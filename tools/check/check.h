// The check: reads the driver's hotkey configuration the way the service's
// next start will, and says whether the service would start and why not.
// It reads through the service's own code (ReadHotkeyNames,
// ReadHotkeyConfig), creates, opens, sets and resets no event and writes
// nothing. TarnwickCtl's verb check and the package's start at the end of
// an install use it.
#pragma once

#include "tools/check/check_rules.h"

// What a start of the service would do with the configuration as it is now.
CheckResult CheckConfiguration();
