// Registry values as TarnwickCtl writes and shows them: value types by
// name, data given as command-line text, and one value for display. Needs no
// Windows header (registry types are given by their numbers).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Registry value types, by their Windows numbers.
constexpr std::uint32_t kTypeSz = 1;        // REG_SZ
constexpr std::uint32_t kTypeExpandSz = 2;  // REG_EXPAND_SZ
constexpr std::uint32_t kTypeBinary = 3;    // REG_BINARY
constexpr std::uint32_t kTypeDword = 4;     // REG_DWORD
constexpr std::uint32_t kTypeQword = 11;    // REG_QWORD

// "0100ff", also with blanks or commas between bytes ("01 00,ff"); an empty
// text is zero bytes. False for an odd number of digits or any other
// character.
bool ParseHexBytes(const std::wstring& text, std::vector<std::uint8_t>& bytes);

// Decimal, or hexadecimal after "0x"; no sign. False when the text is not a
// number or the number exceeds `max`.
bool ParseUnsigned(const std::wstring& text, std::uint64_t max, std::uint64_t& value);

// "REG_SZ", "REG_EXPAND_SZ", "REG_DWORD", "REG_QWORD", "REG_BINARY" (in any
// ASCII case) to the type number; false for any other text.
bool ParseValueType(const std::wstring& text, std::uint32_t& type);
std::wstring NameValueType(std::uint32_t type);

// One registry value to write: its name, type and raw data.
struct NamedValue {
    std::wstring name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// The data of a value of `type` given as command-line text: UTF-16LE with a
// terminating NUL for the string types, a little-endian number for
// REG_DWORD/REG_QWORD, hex bytes for REG_BINARY. False with `error` set when
// the text does not fit the type.
bool EncodeValueData(std::uint32_t type, const std::wstring& text, std::vector<std::uint8_t>& data,
                     std::wstring& error);

// The number of a REG_DWORD of exactly four bytes (little-endian); nothing
// for any other type or size.
std::optional<std::uint32_t> DecodeDword(std::uint32_t type, const std::vector<std::uint8_t>& data);

// The text of string data (UTF-16LE) up to its first NUL; an odd last byte
// is ignored.
std::wstring DecodeStringData(const std::vector<std::uint8_t>& data);

// One value for display: `TYPE "text"` for the string types (up to the first
// NUL), `TYPE n (0x...)` for a DWORD or QWORD of the right size, and
// `TYPE hex: ..` (the bytes) otherwise.
std::wstring FormatValue(std::uint32_t type, const std::vector<std::uint8_t>& data);
