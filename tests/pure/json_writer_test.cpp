#include "tools/json_writer.h"

#include <gtest/gtest.h>

namespace {

TEST(QuoteJsonString, EscapesQuotesBackslashesControlsAndEverythingOutsideAscii)
{
    struct Case {
        std::wstring text;
        const wchar_t* json;
    } const cases[] = {
        {L"", L"\"\""},
        {L"plain text / 1+1", L"\"plain text / 1+1\""},
        {L"\"C:\\Program Files\\x.exe\" LWin+L", L"\"\\\"C:\\\\Program Files\\\\x.exe\\\" LWin+L\""},
        {L"\b\f\n\r\t", L"\"\\b\\f\\n\\r\\t\""},
        {std::wstring(1, L'\0') + L"\x01\x1f\x7f", L"\"\\u0000\\u0001\\u001f\\u007f\""},
        {L"\u00e4\u20ac", L"\"\\u00e4\\u20ac\""},
        // U+1F600: one wide character where wchar_t has 32 bits, a pair of
        // code units where it has 16; the same pair either way.
        {L"\U0001F600", L"\"\\ud83d\\ude00\""},
        // A surrogate without its partner stays as it is.
        {std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x", L"\"\\ud800x\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuoteJsonString(c.text), c.json);
    }
}

TEST(KJsonWriter, PlacesCommasAndColonsInNestedValues)
{
    KJsonWriter json;
    json.BeginObject()
        .Key(L"wouldStart").Bool(false)
        .Key(L"exitCode").Number(1610)
        .Key(L"big").Number(4294967295LL)
        .Key(L"hotkeys").BeginArray().String(L"LWin+L").String(L"a\"b").EndArray()
        .Key(L"empty").BeginArray().EndArray()
        .Key(L"findings").BeginArray()
            .BeginObject().Key(L"hotkey").Null().Key(L"severity").String(L"error").EndObject()
            .BeginObject().EndObject()
        .EndArray()
        .Key(L"files").BeginObject().Key(L"TarnwickSvc.exe").Null().EndObject()
        .EndObject();
    EXPECT_EQ(json.Text(), L"{\"wouldStart\":false,\"exitCode\":1610,\"big\":4294967295,"
                           L"\"hotkeys\":[\"LWin+L\",\"a\\\"b\"],\"empty\":[],"
                           L"\"findings\":[{\"hotkey\":null,\"severity\":\"error\"},{}],"
                           L"\"files\":{\"TarnwickSvc.exe\":null}}");
}

}  // namespace
