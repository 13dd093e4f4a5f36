#include "agent/client_table.h"

#include <gtest/gtest.h>

#include <cstdint>

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
