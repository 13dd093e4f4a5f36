#include "tools/check_verb.h"

#include "tools/check/check.h"
#include "tools/check/check_text.h"
#include "tools/ctl_messages.h"

int RunCheckVerb(const CtlCommand& command, KCtlOutput& output)
{
    const CheckResult result = CheckConfiguration();
    output.Out(command.json ? RenderCheckJson(result) : RenderCheckText(result, DescribeServiceExitCode(result.exitCode)));
    return result.wouldStart ? 0 : kExitFailed;
}
