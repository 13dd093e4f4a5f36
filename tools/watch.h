// TarnwickCtl watch: what a press of Win+L and of Ctrl+Alt+Del would do,
// each time the foreground window changes. It uses the agent's own
// detection and blocking code, and posts, synthesises and writes nothing.
#pragma once

#include "common/win32_api.h"
#include "tools/ctl_args.h"
#include "tools/ctl_output.h"
#include "tools/watch_rules.h"

// What the agent would find now, with `foreground` in front.
WatchFacts ObserveForeground(HWND foreground);

// Ends a running watch at its next poll (Ctrl+C); false when no watch runs.
bool RequestWatchStop();

// watch [--seconds N]: a line at the start and one for every change of the
// foreground window (or of what a press would do), polled every 100 ms;
// ends after N seconds, or when a stop is requested. Exit code 0.
int RunWatchVerb(const CtlCommand& command, KCtlOutput& output);
