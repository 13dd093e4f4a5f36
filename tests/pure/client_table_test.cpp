#include "agent/client_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

TEST(FindRemoteClientRow, MatchesWholeExecutableNamesFoldingAsciiOnly)
{
    struct Case {
        const wchar_t* fileName;
        std::uint32_t kind;  // 0: no row
    } const cases[] = {
        {L"wfica32.exe", Wfica32},     {L"CDViewer.exe", CdViewer},  {L"cdviewer.EXE", CdViewer},
        {L"mstsc.exe", Mstsc},         {L"MSTSC.EXE", Mstsc},        {L"qorvane.exe", Qorvane},
        {L"wswc.exe", Wswc},           {L"vmware-view.exe", VmwareView},
        {L"VMWARE-VIEW.EXE", VmwareView},
        {L"mstsc.exe.old", 0},         {L"mymstsc.exe", 0},          {L"mstsc", 0},
        {L"mstsc.exe ", 0},            {L" mstsc.exe", 0},           {L"vmware_view.exe", 0},
        {L"MSTSC\u0130.EXE", 0},       {L"", 0},
    };
    for (const Case& c : cases) {
        const RemoteClientRow* row = FindRemoteClientRow(c.fileName);
        EXPECT_EQ(row == nullptr ? 0u : static_cast<std::uint32_t>(row->kind), c.kind) << "'" << c.fileName << "'";
    }
}

// Each row carries every form of its client: what the agent sends and what
// watch says follow from it.
TEST(RemoteClientRows, EachKindHasOneRowWithItsFormsAndWindowsNeeded)
{
    struct Expected {
        RemoteClientKind kind;
        const wchar_t* productName;
        WinLForm winL;
        CtrlAltDelForm ctrlAltDel;
        std::uint32_t command;
        CtrlAltDelNeeds needs;
    } const expected[] = {
        {Wfica32, L"Citrix", WinLForm::PostedTwiceWithPauses, CtrlAltDelForm::CtrlF1Synthesised, 0,
         CtrlAltDelNeeds::Nothing},
        {CdViewer, L"Citrix Desktop Viewer", WinLForm::PostedTwiceWithPauses, CtrlAltDelForm::CtrlAltDelPosted, 0,
         CtrlAltDelNeeds::KeyWindow},
        {Mstsc, L"Microsoft Remote Desktop", WinLForm::PostedOnce, CtrlAltDelForm::CtrlAltEndSynthesised, 0,
         CtrlAltDelNeeds::Nothing},
        {Qorvane, L"Qorvane", WinLForm::NotSent, CtrlAltDelForm::EndHeldForASecond, 0, CtrlAltDelNeeds::Nothing},
        {Wswc, L"VMware", WinLForm::PostedOnce, CtrlAltDelForm::InsertThenCommand, 28, CtrlAltDelNeeds::CommandWindow},
        {VmwareView, L"VMware Horizon", WinLForm::PostedOnce, CtrlAltDelForm::InsertThenCommand, 455,
         CtrlAltDelNeeds::CommandWindow},
    };
    ASSERT_EQ(kRemoteClientRowCount, sizeof(expected) / sizeof(expected[0]));
    for (const Expected& e : expected) {
        const RemoteClientRow* row = RemoteClientRowOfKind(e.kind);
        ASSERT_NE(row, nullptr) << e.kind;
        EXPECT_EQ(row->kind, e.kind);
        EXPECT_EQ(std::wstring(row->productName), e.productName);
        EXPECT_EQ(row->winL, e.winL) << e.kind;
        EXPECT_EQ(row->ctrlAltDel, e.ctrlAltDel) << e.kind;
        EXPECT_EQ(row->command, e.command) << e.kind;
        EXPECT_EQ(WindowNeededForCtrlAltDel(*row), e.needs) << e.kind;
        EXPECT_EQ(FindRemoteClientRow(row->executableName), row);
    }
    EXPECT_EQ(RemoteClientRowOfKind(0), nullptr);
    EXPECT_EQ(RemoteClientRowOfKind(7), nullptr);
}
