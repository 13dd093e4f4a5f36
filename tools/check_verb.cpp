#include "tools/check_verb.h"

#include "tools/check/check.h"
#include "tools/check/check_text.h"
#include "tools/ctl_messages.h"

int CheckVerb(const CtlCommand& command, CtlOutput& output)
{
    const CheckResult result = CheckConfiguration();
    output.Out(command.json ? CheckJson(result) : CheckText(result, ServiceExitCodeText(result.exitCode)));
    return result.wouldStart ? 0 : kExitFailed;
}
