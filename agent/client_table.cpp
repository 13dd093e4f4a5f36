#include "agent/client_table.h"

#include "common/names.h"

// A new client needs a row here, a new RemoteClientKind, and a case of its
// own in both switches over the kind in agent/key_forwarding.cpp
// (ForwardWinL and ForwardCtrlAltDel): without them, Win+L with that client
// in front sends nothing at all, and Ctrl+Alt+Del goes on to the local
// action.
const RemoteClientRow kRemoteClientRows[] = {
    {L"wfica32.exe", Wfica32, L"CtxICADisp", nullptr, CommandWindowRule::SameAsTarget, nullptr},
    {L"CDViewer.exe", CdViewer, L"CtxICADisp", nullptr, CommandWindowRule::SameAsTarget, nullptr},
    {L"vmware-view.exe", VmwareView, L"IHWindowClass", nullptr, CommandWindowRule::ForegroundWindow, nullptr},
    {L"wswc.exe", Wswc, L"IHWindowClass", nullptr, CommandWindowRule::DescendantByClass, L"WswcDesktopMenubar"},
    {L"mstsc.exe", Mstsc, nullptr, L"Input Capture Window", CommandWindowRule::SameAsTarget, nullptr},
    {L"qorvane.exe", Qorvane, nullptr, L"QorvaneSession", CommandWindowRule::SameAsTarget, nullptr},
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
