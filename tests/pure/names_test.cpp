#include "common/names.h"

#include <gtest/gtest.h>

struct NameCase {
    const wchar_t* a;
    const wchar_t* b;
    bool equal;
};

TEST(NamesEqual, FoldsOnlyAsciiLettersAndComparesWholeStrings)
{
    const NameCase cases[] = {
        {L"LWin+L", L"lwin+l", true},
        {L"CTRL+ALT+DEL", L"ctrl+alt+del", true},
        {L"MSTSC.EXE", L"mstsc.exe", true},
        {L"Winlogon", L"WINLOGON", true},
        {L"", L"", true},
        {L"LWin+L ", L"LWin+L", false},        // nothing is trimmed
        {L"\"LWin+L\"", L"LWin+L", false},     // quotes stay part of the name
        {L"mstsc.exe.old", L"mstsc.exe", false},
        {L"mymstsc.exe", L"mstsc.exe", false},
        {L"Win+L", L"LWin+L", false},
        {L"", L"a", false},
        {L"\u00C4", L"\u00E4", false},         // no folding beyond ASCII
        {L"[", L"{", false},                   // only letters fold, not 0x5B/0x7B
        {L"@", L"`", false},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(NamesEqual(c.a, c.b), c.equal) << "'" << c.a << "' vs '" << c.b << "'";
        EXPECT_EQ(NamesEqual(c.b, c.a), c.equal) << "'" << c.b << "' vs '" << c.a << "'";
    }
}

TEST(NamesEqual, NullEqualsNothing)
{
    EXPECT_FALSE(NamesEqual(nullptr, L""));
    EXPECT_FALSE(NamesEqual(L"", nullptr));
    EXPECT_FALSE(NamesEqual(static_cast<const wchar_t*>(nullptr), nullptr));
}
