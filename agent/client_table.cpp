#include "agent/client_table.h"

#include "common/names.h"

const RemoteClientRow kRemoteClientRows[6] = {
    {L"wfica32.exe", Wfica32, L"CtxICADisp", nullptr, CommandWindowRule::SameAsTarget, nullptr},
    {L"CDViewer.exe", CdViewer, L"CtxICADisp", nullptr, CommandWindowRule::SameAsTarget, nullptr},
    {L"vmware-view.exe", VmwareView, L"IHWindowClass", nullptr, CommandWindowRule::ForegroundWindow, nullptr},
    {L"wswc.exe", Wswc, L"IHWindowClass", nullptr, CommandWindowRule::DescendantByClass, L"WswcDesktopMenubar"},
    {L"mstsc.exe", Mstsc, nullptr, L"Input Capture Window", CommandWindowRule::SameAsTarget, nullptr},
    {L"qorvane.exe", Qorvane, nullptr, L"QorvaneSession", CommandWindowRule::SameAsTarget, nullptr},
};

const RemoteClientRow* FindRemoteClientRow(const wchar_t* fileName)
{
    for (const RemoteClientRow& row : kRemoteClientRows) {
        if (NamesEqual(fileName, row.executableName)) {
            return &row;
        }
    }
    return nullptr;
}
