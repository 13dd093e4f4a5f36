// TarnwickCtl windows: what an administrator needs to write a client entry
// of the policy. Reads windows only: posts, synthesises and writes nothing.
#pragma once

#include "common/win32_api.h"
#include "tools/ctl_args.h"
#include "tools/ctl_output.h"
#include "tools/window_tree.h"

// The report for `foreground` (null: none).
WindowsReport ReadWindowTree(HWND foreground);

// Waits the command's seconds, then prints the report of the window in front.
int RunWindowsVerb(const CtlCommand& command, KCtlOutput& output);
