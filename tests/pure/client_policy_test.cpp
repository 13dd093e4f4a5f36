#include "agent/client_policy.h"

#include "tests/support/narrow_text.h"

#include <gtest/gtest.h>

namespace {

TEST(ClientPolicyEntry, ReadsLikeAndAnOptionalClassOrText)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* data;
        ClientPolicyFault fault;
        RemoteClientKind like;
        const wchar_t* className;   // null: not given
        const wchar_t* windowText;  // null: not given
    } const cases[] = {
        {L"msrdc.exe", L"like=mstsc.exe", ClientPolicyFault::None, Mstsc, nullptr, nullptr},
        {L"msrdc.exe", L"  LIKE = MSTSC.EXE  ", ClientPolicyFault::None, Mstsc, nullptr, nullptr},
        {L"horizon-client.exe", L"like=vmware-view.exe;class=IHWindowClass", ClientPolicyFault::None, VmwareView,
         L"IHWindowClass", nullptr},
        {L"RDCMan.exe", L"like=mstsc.exe ; Text = Input Capture Window ", ClientPolicyFault::None, Mstsc, nullptr,
         L"Input Capture Window"},
        {L"x.exe", L"like=mstsc.exe;text=a = b", ClientPolicyFault::None, Mstsc, nullptr, L"a = b"},
        {L"x.exe", L"\tlike\t=\tCDViewer.exe\t", ClientPolicyFault::None, CdViewer, nullptr, nullptr},
        // Not the grammar.
        {L"x.exe", L"", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"mstsc.exe", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like=", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like mstsc.exe", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"class=X;like=mstsc.exe", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like=mstsc.exe;", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like=mstsc.exe;class=", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like=mstsc.exe;title=X", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like=mstsc.exe;class=A;class=B", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like=mstsc.exe;class=A;text=B;text=C", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr,
         nullptr},
        {L"", L"like=mstsc.exe", ClientPolicyFault::NotTheGrammar, Mstsc, nullptr, nullptr},
        // The other faults.
        {L"x.exe", L"like=notepad.exe", ClientPolicyFault::UnknownLike, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like=mstsc", ClientPolicyFault::UnknownLike, Mstsc, nullptr, nullptr},
        {L"x.exe", L"like=mstsc.exe;class=A;text=B", ClientPolicyFault::ClassAndText, Mstsc, nullptr, nullptr},
        {L"MSTSC.EXE", L"like=wfica32.exe", ClientPolicyFault::BuiltInName, Mstsc, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(std::wstring(c.name) + L" = " + c.data));
        ClientPolicyEntry entry;
        ASSERT_EQ(ParseClientPolicyEntry(c.name, c.data, entry), c.fault);
        if (c.fault != ClientPolicyFault::None) {
            EXPECT_FALSE(ClientPolicyFaultText(c.fault).empty());
            continue;
        }
        ASSERT_NE(entry.like, nullptr);
        EXPECT_EQ(entry.like->kind, c.like);
        EXPECT_EQ(entry.executableName, c.name);
        EXPECT_EQ(entry.byClass, c.className != nullptr);
        EXPECT_EQ(entry.byText, c.windowText != nullptr);
        if (c.className != nullptr) {
            EXPECT_EQ(entry.className, c.className);
        }
        if (c.windowText != nullptr) {
            EXPECT_EQ(entry.windowText, c.windowText);
        }
    }
}

// A policy client is the like row under its own name, with the keystroke
// window's criterion replaced where the entry gives one; everything else
// (forms, command identifier, command window rule) is the like row's.
TEST(ClientPolicyEntry, ItsRowIsTheLikeRowWithTheGivenCriterion)
{
    ClientPolicyEntry plain;
    ASSERT_EQ(ParseClientPolicyEntry(L"msrdc.exe", L"like=mstsc.exe", plain), ClientPolicyFault::None);
    const RemoteClientRow asMstsc = RowOfPolicyClient(plain);
    EXPECT_EQ(std::wstring(asMstsc.executableName), L"msrdc.exe");
    EXPECT_EQ(asMstsc.kind, Mstsc);
    EXPECT_EQ(asMstsc.targetClassName, nullptr);
    EXPECT_EQ(std::wstring(asMstsc.targetWindowText), L"Input Capture Window");

    ClientPolicyEntry byClass;
    ASSERT_EQ(ParseClientPolicyEntry(L"h.exe", L"like=wswc.exe;class=Pane", byClass), ClientPolicyFault::None);
    const RemoteClientRow asWswc = RowOfPolicyClient(byClass);
    EXPECT_EQ(std::wstring(asWswc.targetClassName), L"Pane");
    EXPECT_EQ(asWswc.targetWindowText, nullptr);
    EXPECT_EQ(asWswc.commandRule, CommandWindowRule::DescendantByClass);
    EXPECT_EQ(std::wstring(asWswc.commandClassName), L"WswcDesktopMenubar");
    EXPECT_EQ(asWswc.command, kWswcCtrlAltDelCommand);
    EXPECT_EQ(asWswc.ctrlAltDel, CtrlAltDelForm::InsertThenCommand);

    ClientPolicyEntry byText;
    ASSERT_EQ(ParseClientPolicyEntry(L"c.exe", L"like=wfica32.exe;text=Session", byText), ClientPolicyFault::None);
    const RemoteClientRow asCitrix = RowOfPolicyClient(byText);
    EXPECT_EQ(asCitrix.targetClassName, nullptr);
    EXPECT_EQ(std::wstring(asCitrix.targetWindowText), L"Session");
    EXPECT_EQ(asCitrix.winL, WinLForm::PostedTwiceWithPauses);
}

}  // namespace
