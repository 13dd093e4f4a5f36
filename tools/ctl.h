// TarnwickCtl, the administrator's console tool.
#pragma once

#include "tools/ctl_output.h"

#include <string>
#include <vector>

// Runs TarnwickCtl with the arguments that follow the program name. Returns
// the exit code: 0 on success, 1 when the operation failed, 2 for wrong
// arguments (after the usage, on the error output).
int RunTarnwickCtl(const std::vector<std::wstring>& args, KCtlOutput& output);
