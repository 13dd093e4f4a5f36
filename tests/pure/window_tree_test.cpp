#include "tools/window_tree.h"

#include <gtest/gtest.h>

namespace {

WindowsReport Report()
{
    WindowsReport report;
    report.foreground = true;
    report.programName = L"msrdc.exe";
    report.windows = {{0, L"TscShellContainerClass", L"Session \x1b[2J"}, {1, L"UIContainerClass", L""},
                      {2, L"IHWindowClass", L"Input Capture Window"}};
    report.picks = {{L"mstsc.exe", 2, 2}, {L"vmware-view.exe", 2, 0}, {L"wswc.exe", 2, std::nullopt},
                    {L"qorvane.exe", std::nullopt, std::nullopt}};
    return report;
}

TEST(RenderWindowsText, TheProgramTheTreeAndWhatEachBuiltInRuleTakes)
{
    EXPECT_EQ(RenderWindowsText(Report()),
              L"program in front: msrdc.exe\n"
              L"windows (#, depth, class, text; depth 0 is the foreground window):\n"
              L"  #0 0 \"TscShellContainerClass\" \"Session \\x1b[2J\"\n"
              L"  #1   1 \"UIContainerClass\" \"\"\n"
              L"  #2     2 \"IHWindowClass\" \"Input Capture Window\"\n"
              L"what each built-in client's rule would take here (like=NAME in a client entry):\n"
              L"  like=mstsc.exe: key window #2 (class \"IHWindowClass\", text \"Input Capture Window\"), command "
              L"window #2 (class \"IHWindowClass\", text \"Input Capture Window\")\n"
              L"  like=vmware-view.exe: key window #2 (class \"IHWindowClass\", text \"Input Capture Window\"), "
              L"command window #0 (class \"TscShellContainerClass\", text \"Session \\x1b[2J\")\n"
              L"  like=wswc.exe: key window #2 (class \"IHWindowClass\", text \"Input Capture Window\"), command "
              L"window none\n"
              L"  like=qorvane.exe: key window none, command window none\n");
    WindowsReport none;
    EXPECT_EQ(RenderWindowsText(none), L"no window in front\n");
    WindowsReport unreadable = Report();
    unreadable.programName.reset();
    EXPECT_EQ(RenderWindowsText(unreadable).substr(0, 33), L"program in front: cannot be read\n");
}

TEST(RenderWindowsJson, OneObjectWithIndexesOrNull)
{
    WindowsReport report = Report();
    report.windows.resize(1);
    report.picks = {{L"mstsc.exe", 0, std::nullopt}};
    EXPECT_EQ(RenderWindowsJson(report),
              L"{\"foreground\":true,\"program\":\"msrdc.exe\",\"windows\":[{\"index\":0,\"depth\":0,"
              L"\"class\":\"TscShellContainerClass\",\"text\":\"Session \\u001b[2J\"}],\"builtInClients\":"
              L"[{\"like\":\"mstsc.exe\",\"keyWindow\":0,\"commandWindow\":null}]}\n");
    EXPECT_EQ(RenderWindowsJson(WindowsReport{}),
              L"{\"foreground\":false,\"program\":null,\"windows\":[],\"builtInClients\":[]}\n");
}

}  // namespace
