#include "tools/registry_values.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(RegistryValueHex, AcceptsPairsOfDigitsWithOptionalSeparatorsAndRejectsEverythingElse)
{
    struct Case {
        const wchar_t* text;
        bool ok;
        Bytes bytes;
    } const cases[] = {
        {L"", true, {}},
        {L"01", true, {0x01}},
        {L"0100ff", true, {0x01, 0x00, 0xFF}},
        {L"DEadBEef", true, {0xDE, 0xAD, 0xBE, 0xEF}},
        {L"01 00,ff", true, {0x01, 0x00, 0xFF}},
        {L" 01 ", true, {0x01}},
        {L"1", false, {}},
        {L"010", false, {}},
        {L"0 1", false, {}},  // a separator inside a byte
        {L"0x01", false, {}},
        {L"0g", false, {}},
        {L"01-02", false, {}},
    };
    for (const Case& c : cases) {
        Bytes bytes = {0xAA};
        EXPECT_EQ(ParseHexBytes(c.text, bytes), c.ok) << "'" << c.text << "'";
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << "'" << c.text << "'";
        } else {
            EXPECT_EQ(bytes, Bytes{0xAA}) << "a refused text leaves the output alone: '" << c.text << "'";
        }
    }
}

TEST(RegistryValueNumbers, DecimalOrHexUpToTheLimit)
{
    struct Case {
        const wchar_t* text;
        std::uint64_t max;
        bool ok;
        std::uint64_t value;
    } const cases[] = {
        {L"0", 0xFFFFFFFF, true, 0},
        {L"1", 0xFFFFFFFF, true, 1},
        {L"4294967295", 0xFFFFFFFF, true, 0xFFFFFFFF},
        {L"4294967296", 0xFFFFFFFF, false, 0},
        {L"0xffffffff", 0xFFFFFFFF, true, 0xFFFFFFFF},
        {L"0X1F", 0xFFFFFFFF, true, 0x1F},
        {L"0x100000000", 0xFFFFFFFF, false, 0},
        {L"18446744073709551615", ~0ull, true, ~0ull},
        {L"18446744073709551616", ~0ull, false, 0},
        {L"0xFFFFFFFFFFFFFFFF", ~0ull, true, ~0ull},
        {L"", 0xFFFFFFFF, false, 0},
        {L"0x", 0xFFFFFFFF, false, 0},
        {L"-1", 0xFFFFFFFF, false, 0},
        {L"+1", 0xFFFFFFFF, false, 0},
        {L"12a", 0xFFFFFFFF, false, 0},
        {L" 1", 0xFFFFFFFF, false, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t value = 77;
        EXPECT_EQ(ParseUnsigned(c.text, c.max, value), c.ok) << "'" << c.text << "'";
        EXPECT_EQ(value, c.ok ? c.value : 77u) << "'" << c.text << "'";
    }
}

TEST(RegistryValues, EncodeEachTypeAsTheRegistryStoresIt)
{
    struct Case {
        std::uint32_t type;
        const wchar_t* text;
        Bytes data;
    } const cases[] = {
        {kTypeSz, L"1", {'1', 0, 0, 0}},  // the string "1": four bytes, read as 49 by a DWORD read
        {kTypeSz, L"", {0, 0}},
        {kTypeExpandSz, L"%A%", {'%', 0, 'A', 0, '%', 0, 0, 0}},
        {kTypeSz, L"\u00e4", {0xE4, 0, 0, 0}},
        {kTypeDword, L"1", {1, 0, 0, 0}},
        {kTypeDword, L"0x01020304", {4, 3, 2, 1}},
        {kTypeQword, L"1", {1, 0, 0, 0, 0, 0, 0, 0}},
        {kTypeQword, L"0x0102030405060708", {8, 7, 6, 5, 4, 3, 2, 1}},
        {kTypeBinary, L"01", {1}},
        {kTypeBinary, L"", {}},
    };
    for (const Case& c : cases) {
        Bytes data = {0xAA};
        std::wstring error;
        EXPECT_TRUE(EncodeValueData(c.type, c.text, data, error)) << c.type << " '" << c.text << "'";
        EXPECT_EQ(data, c.data) << c.type << " '" << c.text << "'";
    }
    Bytes data;
    std::wstring error;
    EXPECT_FALSE(EncodeValueData(kTypeDword, L"x", data, error));
    EXPECT_NE(error.find(L"\"x\""), std::wstring::npos) << "the message names the bad text";
    EXPECT_FALSE(EncodeValueData(kTypeBinary, L"123", data, error));
    EXPECT_FALSE(EncodeValueData(7, L"", data, error));  // REG_MULTI_SZ is not offered
}

TEST(RegistryValues, TypeNamesInAnyAsciiCaseAndNoOthers)
{
    std::uint32_t type = 0;
    EXPECT_TRUE(ParseValueType(L"REG_SZ", type));
    EXPECT_EQ(type, kTypeSz);
    EXPECT_TRUE(ParseValueType(L"reg_expand_sz", type));
    EXPECT_EQ(type, kTypeExpandSz);
    EXPECT_TRUE(ParseValueType(L"Reg_Dword", type));
    EXPECT_EQ(type, kTypeDword);
    EXPECT_TRUE(ParseValueType(L"REG_QWORD", type));
    EXPECT_EQ(type, kTypeQword);
    EXPECT_TRUE(ParseValueType(L"REG_BINARY", type));
    EXPECT_EQ(type, kTypeBinary);
    EXPECT_FALSE(ParseValueType(L"SZ", type));
    EXPECT_FALSE(ParseValueType(L"REG_SZ ", type));
    EXPECT_FALSE(ParseValueType(L"REG_MULTI_SZ", type));
}

TEST(RegistryValues, FormatShowsTextNumbersOrBytes)
{
    EXPECT_EQ(FormatValue(kTypeSz, {'a', 0, 'b', 0, 0, 0}), L"REG_SZ \"ab\"");
    EXPECT_EQ(FormatValue(kTypeExpandSz, {'a', 0, 'b'}), L"REG_EXPAND_SZ \"a\"");  // odd length, no NUL
    EXPECT_EQ(FormatValue(kTypeSz, {'a', 0, 0, 0, 'b', 0}), L"REG_SZ \"a\"");    // up to the first NUL
    EXPECT_EQ(FormatValue(kTypeDword, {1, 0, 0, 0}), L"REG_DWORD 1 (0x00000001)");
    EXPECT_EQ(FormatValue(kTypeQword, {0, 1, 0, 0, 0, 0, 0, 0}), L"REG_QWORD 256 (0x0000000000000100)");
    EXPECT_EQ(FormatValue(kTypeDword, {1, 0}), L"REG_DWORD hex: 01 00");  // wrong size
    EXPECT_EQ(FormatValue(kTypeBinary, {0xDE, 0xAD}), L"REG_BINARY hex: de ad");
    EXPECT_EQ(FormatValue(kTypeBinary, {}), L"REG_BINARY hex:");
    EXPECT_EQ(FormatValue(7, {0}), L"type 7 hex: 00");
}

}  // namespace
