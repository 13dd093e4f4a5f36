#include "tools/watch_rules.h"

namespace {

std::wstring ExecutableOf(RemoteClientKind kind)
{
    const RemoteClientRow* row = RemoteClientRowOfKind(kind);
    return row != nullptr ? std::wstring(row->executableName) : L"client " + std::to_wstring(static_cast<unsigned>(kind));
}

PressOutcome LocalOutcome(const Blocking& blocking, bool userAtConsole)
{
    if (blocking.blocked) {
        return blocking.byBlockLocal ? PressOutcome::BlockedByBlockLocal : PressOutcome::BlockedByPolicy;
    }
    return userAtConsole ? PressOutcome::Local : PressOutcome::NothingNoUser;
}

// The client's executable name: the policy entry's, or the row's.
std::wstring ClientExecutable(const FrontFacts& front)
{
    return front.policyName.empty() ? ExecutableOf(front.kind) : front.policyName;
}

std::wstring OutcomeText(PressOutcome outcome, const FrontFacts& front, bool lock)
{
    switch (outcome) {
    case PressOutcome::Forward:
        return L"forward into " + ClientExecutable(front);
    case PressOutcome::NothingNoKeyWindow:
        return L"nothing, the client's key window was not found";
    case PressOutcome::NothingNoCommandWindow:
        return L"nothing, the client's command window was not found";
    case PressOutcome::NothingClientTakesNone:
        return L"nothing, " + ClientExecutable(front) + L" takes it and is sent none";
    case PressOutcome::BlockedByBlockLocal:
        return L"blocked by \"BlockLocal\"";
    case PressOutcome::BlockedByPolicy:
        return L"blocked by the Keyboard Filter policy";
    case PressOutcome::NothingNoUser:
        return L"nothing, no user is at the console";
    case PressOutcome::Local:
        return lock ? L"lock the workstation" : L"send Ctrl+Alt+Del locally";
    }
    return L"";
}

}  // namespace

PressOutcome PredictWinL(const FrontFacts& front, const Blocking& blocking, bool userAtConsole)
{
    if (front.client) {
        if (!front.keyWindow) {
            return PressOutcome::NothingNoKeyWindow;
        }
        const RemoteClientRow* row = RemoteClientRowOfKind(front.kind);
        return row != nullptr && row->winL == WinLForm::NotSent ? PressOutcome::NothingClientTakesNone
                                                                : PressOutcome::Forward;
    }
    return LocalOutcome(blocking, userAtConsole);
}

PressOutcome PredictCtrlAltDel(const FrontFacts& front, const Blocking& blocking, bool userAtConsole)
{
    if (front.client) {
        const RemoteClientRow* row = RemoteClientRowOfKind(front.kind);
        const CtrlAltDelNeeds needs = row != nullptr ? WindowNeededForCtrlAltDel(*row) : CtrlAltDelNeeds::Nothing;
        if (needs == CtrlAltDelNeeds::KeyWindow && !front.keyWindow) {
            return PressOutcome::NothingNoKeyWindow;
        }
        if (needs == CtrlAltDelNeeds::CommandWindow && !front.commandWindow) {
            return PressOutcome::NothingNoCommandWindow;
        }
        return PressOutcome::Forward;
    }
    return LocalOutcome(blocking, userAtConsole);
}

std::wstring DescribeClient(RemoteClientKind kind)
{
    const RemoteClientRow* row = RemoteClientRowOfKind(kind);
    const std::wstring executable = ExecutableOf(kind);
    return row != nullptr ? std::wstring(row->productName) + L" (" + executable + L")" : executable;
}

std::wstring FormatWatchLine(const WatchFacts& facts)
{
    const FrontFacts& front = facts.front;
    std::wstring line = !front.window ? L"no window in front"
                        : front.fileName.empty() ? L"a window of a program that cannot be read"
                                                 : front.fileName;
    if (front.client) {
        const std::wstring name = front.policyName.empty()
                                      ? DescribeClient(front.kind)
                                      : front.policyName + L" (policy: like " + front.policyLike + L")";
        line += L": client " + name + L", key window " +
                (front.keyWindow ? L"found" : L"not found") + L", command window " +
                (front.commandWindow ? L"found" : L"not found");
    } else {
        line += L": no remote-desktop client";
    }

    const std::wstring left = OutcomeText(PredictWinL(front, facts.lwin, facts.userAtConsole), front, true);
    const std::wstring right = OutcomeText(PredictWinL(front, facts.rwin, facts.userAtConsole), front, true);
    if (left == right) {
        line += L"; Win+L: " + left;
    } else {
        line += L"; LWin+L: " + left + L", RWin+L: " + right;
    }
    line += L"; Ctrl+Alt+Del: " +
            OutcomeText(PredictCtrlAltDel(front, facts.ctrlAltDel, facts.userAtConsole), front, false);
    return line;
}
