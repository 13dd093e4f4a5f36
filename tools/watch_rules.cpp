#include "tools/watch_rules.h"

namespace {

// What the agent's forwarding needs of each client (agent/key_forwarding.cpp).
struct ClientForms {
    RemoteClientKind kind;
    const wchar_t* product;
    bool takesWinL;  // false: the client takes Win+L, and nothing is sent
    enum class Needs { Nothing, KeyWindow, CommandWindow } ctrlAltDelNeeds;
};

const ClientForms kClientForms[] = {
    {Wfica32, L"Citrix", true, ClientForms::Needs::Nothing},
    {CdViewer, L"Citrix Desktop Viewer", true, ClientForms::Needs::KeyWindow},
    {Mstsc, L"Microsoft Remote Desktop", true, ClientForms::Needs::Nothing},
    {Qorvane, L"Qorvane", false, ClientForms::Needs::Nothing},
    {Wswc, L"VMware", true, ClientForms::Needs::CommandWindow},
    {VmwareView, L"VMware Horizon", true, ClientForms::Needs::CommandWindow},
};

const ClientForms* FormsOf(RemoteClientKind kind)
{
    for (const ClientForms& forms : kClientForms) {
        if (forms.kind == kind) {
            return &forms;
        }
    }
    return nullptr;
}

std::wstring ExecutableOf(RemoteClientKind kind)
{
    for (std::size_t i = 0; i < kRemoteClientRowCount; ++i) {
        if (kRemoteClientRows[i].kind == kind) {
            return kRemoteClientRows[i].executableName;
        }
    }
    return L"client " + std::to_wstring(static_cast<unsigned>(kind));
}

PressOutcome LocalOutcome(const Blocking& blocking, bool userAtConsole)
{
    if (blocking.blocked) {
        return blocking.byBlockLocal ? PressOutcome::BlockedByBlockLocal : PressOutcome::BlockedByPolicy;
    }
    return userAtConsole ? PressOutcome::Local : PressOutcome::NothingNoUser;
}

std::wstring OutcomeText(PressOutcome outcome, const FrontFacts& front, bool lock)
{
    switch (outcome) {
    case PressOutcome::Forward:
        return L"forward into " + ExecutableOf(front.kind);
    case PressOutcome::NothingNoKeyWindow:
        return L"nothing, the client's key window was not found";
    case PressOutcome::NothingNoCommandWindow:
        return L"nothing, the client's command window was not found";
    case PressOutcome::NothingClientTakesNone:
        return L"nothing, " + ExecutableOf(front.kind) + L" takes it and is sent none";
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

PressOutcome WinLOutcome(const FrontFacts& front, const Blocking& blocking, bool userAtConsole)
{
    if (front.client) {
        if (!front.keyWindow) {
            return PressOutcome::NothingNoKeyWindow;
        }
        const ClientForms* forms = FormsOf(front.kind);
        return forms != nullptr && !forms->takesWinL ? PressOutcome::NothingClientTakesNone : PressOutcome::Forward;
    }
    return LocalOutcome(blocking, userAtConsole);
}

PressOutcome CtrlAltDelOutcome(const FrontFacts& front, const Blocking& blocking, bool userAtConsole)
{
    if (front.client) {
        const ClientForms* forms = FormsOf(front.kind);
        const ClientForms::Needs needs = forms != nullptr ? forms->ctrlAltDelNeeds : ClientForms::Needs::Nothing;
        if (needs == ClientForms::Needs::KeyWindow && !front.keyWindow) {
            return PressOutcome::NothingNoKeyWindow;
        }
        if (needs == ClientForms::Needs::CommandWindow && !front.commandWindow) {
            return PressOutcome::NothingNoCommandWindow;
        }
        return PressOutcome::Forward;
    }
    return LocalOutcome(blocking, userAtConsole);
}

std::wstring ClientName(RemoteClientKind kind)
{
    const ClientForms* forms = FormsOf(kind);
    const std::wstring executable = ExecutableOf(kind);
    return forms != nullptr ? std::wstring(forms->product) + L" (" + executable + L")" : executable;
}

std::wstring WatchLine(const WatchFacts& facts)
{
    const FrontFacts& front = facts.front;
    std::wstring line = !front.window ? L"no window in front"
                        : front.fileName.empty() ? L"a window of a program that cannot be read"
                                                 : front.fileName;
    if (front.client) {
        line += L": client " + ClientName(front.kind) + L", key window " +
                (front.keyWindow ? L"found" : L"not found") + L", command window " +
                (front.commandWindow ? L"found" : L"not found");
    } else {
        line += L": no remote-desktop client";
    }

    const std::wstring left = OutcomeText(WinLOutcome(front, facts.lwin, facts.userAtConsole), front, true);
    const std::wstring right = OutcomeText(WinLOutcome(front, facts.rwin, facts.userAtConsole), front, true);
    if (left == right) {
        line += L"; Win+L: " + left;
    } else {
        line += L"; LWin+L: " + left + L", RWin+L: " + right;
    }
    line += L"; Ctrl+Alt+Del: " +
            OutcomeText(CtrlAltDelOutcome(front, facts.ctrlAltDel, facts.userAtConsole), front, false);
    return line;
}
