// Test support: TarnwickCtl run in the test's own process.
#pragma once

#include "tools/ctl.h"
#include "tests/support/text_contains.h"

#include <string>
#include <vector>

struct CtlRun {
    int exitCode;
    std::wstring out;
    std::wstring err;
};

// RunTarnwickCtl with `args`, its output collected.
inline CtlRun RunCtlHere(const std::vector<std::wstring>& args)
{
    KCollectedOutput output;
    const int exitCode = RunTarnwickCtl(args, output);
    return CtlRun{exitCode, output.out, output.err};
}

