#include "agent/client_table.h"

#include "common/names.h"

// A new client needs a row here. A row says everything the system knows of
// the client: the agent's detection, its forwarding of Win+L and
// Ctrl+Alt+Del, and TarnwickCtl watch go by it. A client that is sent its
// keys in a way no row uses yet needs a new WinLForm or CtrlAltDelForm, with
// its case in agent/key_forwarding.cpp and in WindowNeededForCtrlAltDel.
const RemoteClientRow kRemoteClientRows[] = {
    {L"wfica32.exe", Wfica32, L"Citrix", L"CtxICADisp", nullptr, CommandWindowRule::SameAsTarget, nullptr,
     WinLForm::PostedTwiceWithPauses, CtrlAltDelForm::CtrlF1Synthesised, 0},
    {L"CDViewer.exe", CdViewer, L"Citrix Desktop Viewer", L"CtxICADisp", nullptr, CommandWindowRule::SameAsTarget,
     nullptr, WinLForm::PostedTwiceWithPauses, CtrlAltDelForm::CtrlAltDelPosted, 0},
    {L"vmware-view.exe", VmwareView, L"VMware Horizon", L"IHWindowClass", nullptr,
     CommandWindowRule::ForegroundWindow, nullptr, WinLForm::PostedOnce, CtrlAltDelForm::InsertThenCommand,
     kVmwareViewCtrlAltDelCommand},
    {L"wswc.exe", Wswc, L"VMware", L"IHWindowClass", nullptr, CommandWindowRule::DescendantByClass,
     L"WswcDesktopMenubar", WinLForm::PostedOnce, CtrlAltDelForm::InsertThenCommand, kWswcCtrlAltDelCommand},
    {L"mstsc.exe", Mstsc, L"Microsoft Remote Desktop", nullptr, L"Input Capture Window",
     CommandWindowRule::SameAsTarget, nullptr, WinLForm::PostedOnce, CtrlAltDelForm::CtrlAltEndSynthesised, 0},
    {L"qorvane.exe", Qorvane, L"Qorvane", nullptr, L"QorvaneSession", CommandWindowRule::SameAsTarget, nullptr,
     WinLForm::NotSent, CtrlAltDelForm::EndHeldForASecond, 0},
};

const std::size_t kRemoteClientRowCount = sizeof(kRemoteClientRows) / sizeof(kRemoteClientRows[0]);

const RemoteClientRow* FindRemoteClientRow(const wchar_t* fileName)
{
    for (std::size_t i = 0; i < kRemoteClientRowCount; ++i) {
        if (NamesEqual(fileName, kRemoteClientRows[i].executableName)) {
            return &kRemoteClientRows[i];
        }
    }
    return nullptr;
}

const RemoteClientRow* RemoteClientRowOfKind(std::uint32_t kind)
{
    for (std::size_t i = 0; i < kRemoteClientRowCount; ++i) {
        if (kRemoteClientRows[i].kind == kind) {
            return &kRemoteClientRows[i];
        }
    }
    return nullptr;
}

CtrlAltDelNeeds WindowNeededForCtrlAltDel(const RemoteClientRow& row)
{
    switch (row.ctrlAltDel) {
    case CtrlAltDelForm::CtrlAltDelPosted:
        return CtrlAltDelNeeds::KeyWindow;
    case CtrlAltDelForm::InsertThenCommand:
        return CtrlAltDelNeeds::CommandWindow;
    case CtrlAltDelForm::CtrlF1Synthesised:
    case CtrlAltDelForm::CtrlAltEndSynthesised:
    case CtrlAltDelForm::EndHeldForASecond:
        break;
    }
    return CtrlAltDelNeeds::Nothing;
}
