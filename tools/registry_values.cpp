#include "tools/registry_values.h"

#include "common/names.h"

namespace {

struct TypeName {
    std::uint32_t type;
    const wchar_t* name;
};
const TypeName kTypeNames[] = {
    {kTypeSz, L"REG_SZ"},       {kTypeExpandSz, L"REG_EXPAND_SZ"}, {kTypeBinary, L"REG_BINARY"},
    {kTypeDword, L"REG_DWORD"}, {kTypeQword, L"REG_QWORD"},
};

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

void AppendLittleEndian(std::vector<std::uint8_t>& data, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint64_t ReadLittleEndian(const std::vector<std::uint8_t>& data)
{
    std::uint64_t value = 0;
    for (size_t i = data.size(); i > 0; --i) {
        value = (value << 8) | data[i - 1];
    }
    return value;
}

// UTF-16LE code units of `text`, terminator included. (On systems where
// wchar_t holds 32 bits, characters beyond U+FFFF become surrogate pairs.)
void AppendUtf16(std::vector<std::uint8_t>& data, const std::wstring& text)
{
    auto unit = [&](std::uint32_t u) { AppendLittleEndian(data, u, 2); };
    for (wchar_t c : text) {
        const std::uint32_t code = static_cast<std::uint32_t>(c);
        if (code > 0xFFFF) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    unit(0);
}

std::wstring Hex(std::uint64_t value, int digits)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(static_cast<size_t>(digits), L'0');
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<size_t>(i)] = kDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}

}  // namespace

bool ParseHexBytes(const std::wstring& text, std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> parsed;
    int high = -1;
    for (wchar_t c : text) {
        if (c == L' ' || c == L',') {
            if (high >= 0) {
                return false;  // a separator inside a byte
            }
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) {
            return false;
        }
        if (high < 0) {
            high = digit;
        } else {
            parsed.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) {
        return false;
    }
    bytes = parsed;
    return true;
}

bool ParseUnsigned(const std::wstring& text, std::uint64_t max, std::uint64_t& value)
{
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    const std::uint64_t base = hex ? 16 : 10;
    const size_t start = hex ? 2 : 0;
    if (text.size() <= start) {
        return false;
    }
    std::uint64_t result = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0 || static_cast<std::uint64_t>(digit) >= base) {
            return false;
        }
        if (result > (max - static_cast<std::uint64_t>(digit)) / base) {
            return false;
        }
        result = result * base + static_cast<std::uint64_t>(digit);
    }
    value = result;
    return true;
}

bool ParseValueType(const std::wstring& text, std::uint32_t& type)
{
    for (const TypeName& entry : kTypeNames) {
        if (NamesEqual(text, entry.name)) {
            type = entry.type;
            return true;
        }
    }
    return false;
}

std::wstring NameValueType(std::uint32_t type)
{
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type) {
            return entry.name;
        }
    }
    return L"type " + std::to_wstring(type);
}

bool EncodeValueData(std::uint32_t type, const std::wstring& text, std::vector<std::uint8_t>& data,
                     std::wstring& error)
{
    data.clear();
    std::uint64_t number = 0;
    switch (type) {
    case kTypeSz:
    case kTypeExpandSz:
        AppendUtf16(data, text);
        return true;
    case kTypeDword:
        if (!ParseUnsigned(text, 0xFFFFFFFFull, number)) {
            error = L"\"" + text + L"\" is not a number from 0 to 4294967295 (decimal or 0x...)";
            return false;
        }
        AppendLittleEndian(data, number, 4);
        return true;
    case kTypeQword:
        if (!ParseUnsigned(text, ~0ull, number)) {
            error = L"\"" + text + L"\" is not a 64-bit unsigned number (decimal or 0x...)";
            return false;
        }
        AppendLittleEndian(data, number, 8);
        return true;
    case kTypeBinary:
        if (!ParseHexBytes(text, data)) {
            error = L"\"" + text + L"\" is not a sequence of hex bytes such as 0100ff";
            return false;
        }
        return true;
    default:
        error = L"unsupported value type " + std::to_wstring(type);
        return false;
    }
}

std::optional<std::uint32_t> DecodeDword(std::uint32_t type, const std::vector<std::uint8_t>& data)
{
    if (type != kTypeDword || data.size() != 4) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(ReadLittleEndian(data));
}

std::wstring DecodeStringData(const std::vector<std::uint8_t>& data)
{
    std::wstring text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (c == L'\0') {
            break;
        }
        text += c;
    }
    return text;
}

std::wstring FormatValue(std::uint32_t type, const std::vector<std::uint8_t>& data)
{
    const std::wstring typeName = NameValueType(type);
    if (type == kTypeSz || type == kTypeExpandSz) {
        return typeName + L" \"" + DecodeStringData(data) + L"\"";
    }
    if ((type == kTypeDword && data.size() == 4) || (type == kTypeQword && data.size() == 8)) {
        const std::uint64_t value = ReadLittleEndian(data);
        return typeName + L" " + std::to_wstring(value) + L" (0x" + Hex(value, type == kTypeDword ? 8 : 16) + L")";
    }
    std::wstring text = typeName + L" hex:";
    for (std::uint8_t byte : data) {
        text += L" " + Hex(byte, 2);
    }
    return text;
}
