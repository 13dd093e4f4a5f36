#include "tools/ctl.h"

#include "tools/check_verb.h"
#include "tools/ctl_args.h"
#include "tools/driver_verbs.h"
#include "tools/lock_policy_verb.h"
#include "tools/status.h"
#include "tools/watch.h"
#include "tools/windows_verb.h"

int RunTarnwickCtl(const std::vector<std::wstring>& args, KCtlOutput& output)
{
    const CtlParse parse = ParseCtlArgs(args);
    if (!parse.error.empty()) {
        output.Err(L"TarnwickCtl: " + parse.error + L"\n\n" + DescribeCtlUsage());
        return kExitUsage;
    }
    const CtlCommand& command = parse.command;
    switch (command.action) {
    case CtlAction::Help:
        output.Out(DescribeCtlUsage());
        return 0;
    case CtlAction::Set:
    case CtlAction::SetValue:
        return SetHotkeyValues(command, output);
    case CtlAction::List:
        return ListHotkeys(output);
    case CtlAction::Remove:
        return RemoveHotkey(command, output);
    case CtlAction::Press:
        return PressHotkey(command, output);
    case CtlAction::Check:
        return RunCheckVerb(command, output);
    case CtlAction::Status:
        return RunStatusVerb(command, output);
    case CtlAction::LockPolicy:
        return RunLockPolicyVerb(command, output);
    case CtlAction::Watch:
        return RunWatchVerb(command, output);
    case CtlAction::Windows:
        return RunWindowsVerb(command, output);
    }
    return kExitUsage;
}
