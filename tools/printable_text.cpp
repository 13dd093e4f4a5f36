#include "tools/printable_text.h"

#include <cstdint>

std::wstring MakePrintableLine(const std::wstring& text)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring line;
    for (const wchar_t c : text) {
        const std::uint32_t code = static_cast<std::uint32_t>(c);
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
            line += L"\\x";
            line += kDigits[(code >> 4) & 0xF];
            line += kDigits[code & 0xF];
        } else {
            line += c;
        }
    }
    return line;
}

std::wstring QuoteText(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}
