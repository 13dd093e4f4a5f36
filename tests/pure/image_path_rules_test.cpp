#include "agent/image_path_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(ShortNameMayStand, OnlyAFileNameWithATildeOnADriveLetter)
{
    struct Case {
        const wchar_t* path;
        bool mayStand;
    } const cases[] = {
        {L"C:\\PROGRA~1\\MICROS~1\\MSTSC~1.EXE", true},
        {L"d:/tools/VMWARE~1.EXE", true},
        {L"C:\\Windows\\System32\\mstsc.exe", false},
        {L"C:\\PROGRA~1\\Citrix\\wfica32.exe", false},  // only a folder is short
        {L"\\\\host\\share\\MSTSC~1.EXE", false},
        {L"\\\\host@SSL\\DavWWWRoot\\MSTSC~1.EXE", false},
        {L"\\\\?\\UNC\\host\\share\\MSTSC~1.EXE", false},
        {L"\\\\?\\C:\\MSTSC~1.EXE", false},
        {L"\\\\.\\C:\\MSTSC~1.EXE", false},
        {L"\\Device\\HarddiskVolume3\\MSTSC~1.EXE", false},
        {L"MSTSC~1.EXE", false},
        {L"C:MSTSC~1.EXE", false},
        {L"", false},
        {nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(ShortNameMayStand(c.path), c.mayStand);
    }
}

}  // namespace
