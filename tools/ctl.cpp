#include "tools/ctl.h"

#include "tools/check_verb.h"
#include "tools/ctl_args.h"
#include "tools/driver_verbs.h"
#include "tools/lock_policy_verb.h"
#include "tools/status.h"
#include "tools/watch.h"
#include "tools/windows_verb.h"

int RunTarnwickCtl(const std::vector<std::wstring>& args, CtlOutput& output)
{
    const CtlParse parse = ParseCtlArgs(args);
    if (!parse.error.empty()) {
        output.Err(L"TarnwickCtl: " + parse.error + L"\n\n" + CtlUsage());
        return kExitUsage;
    }
    const CtlCommand& command = parse.command;
    switch (command.action) {
    case CtlAction::Help:
        output.Out(CtlUsage());
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
        return CheckVerb(command, output);
    case CtlAction::Status:
        return StatusVerb(command, output);
    case CtlAction::LockPolicy:
        return LockPolicyVerb(command, output);
    case CtlAction::Watch:
        return WatchVerb(command, output);
    case CtlAction::Windows:
        return WindowsVerb(command, output);
    }
    return kExitUsage;
}
