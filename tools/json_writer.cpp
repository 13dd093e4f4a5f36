#include "tools/json_writer.h"

namespace {

void AppendUnit(std::wstring& out, std::uint32_t unit)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    out += L"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += kDigits[(unit >> shift) & 0xF];
    }
}

}  // namespace

std::wstring QuoteJsonString(const std::wstring& text)
{
    std::wstring out = L"\"";
    for (const wchar_t c : text) {
        const std::uint32_t code = static_cast<std::uint32_t>(c);
        switch (code) {
        case 0x22:
            out += L"\\\"";
            continue;
        case 0x5C:
            out += L"\\\\";
            continue;
        case 0x08:
            out += L"\\b";
            continue;
        case 0x0C:
            out += L"\\f";
            continue;
        case 0x0A:
            out += L"\\n";
            continue;
        case 0x0D:
            out += L"\\r";
            continue;
        case 0x09:
            out += L"\\t";
            continue;
        default:
            break;
        }
        if (code >= 0x20 && code < 0x7F) {
            out += c;
        } else if (code <= 0xFFFF) {
            AppendUnit(out, code);
        } else if (code <= 0x10FFFF) {
            // A wide character of 32 bits: the UTF-16 pair.
            AppendUnit(out, 0xD800 + ((code - 0x10000) >> 10));
            AppendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            AppendUnit(out, 0xFFFD);
        }
    }
    return out + L"\"";
}

void KJsonWriter::BeforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        if (!empty_.back()) {
            text_ += L',';
        }
        empty_.back() = false;
    }
}

void KJsonWriter::Open(wchar_t bracket)
{
    BeforeValue();
    text_ += bracket;
    empty_.push_back(true);
}

void KJsonWriter::Close(wchar_t bracket)
{
    text_ += bracket;
    if (!empty_.empty()) {
        empty_.pop_back();
    }
}

KJsonWriter& KJsonWriter::BeginObject()
{
    Open(L'{');
    return *this;
}

KJsonWriter& KJsonWriter::EndObject()
{
    Close(L'}');
    return *this;
}

KJsonWriter& KJsonWriter::BeginArray()
{
    Open(L'[');
    return *this;
}

KJsonWriter& KJsonWriter::EndArray()
{
    Close(L']');
    return *this;
}

KJsonWriter& KJsonWriter::Key(const std::wstring& name)
{
    BeforeValue();
    text_ += QuoteJsonString(name) + L':';
    afterKey_ = true;
    return *this;
}

KJsonWriter& KJsonWriter::String(const std::wstring& text)
{
    BeforeValue();
    text_ += QuoteJsonString(text);
    return *this;
}

KJsonWriter& KJsonWriter::Number(std::int64_t value)
{
    BeforeValue();
    text_ += std::to_wstring(value);
    return *this;
}

KJsonWriter& KJsonWriter::Bool(bool value)
{
    BeforeValue();
    text_ += value ? L"true" : L"false";
    return *this;
}

KJsonWriter& KJsonWriter::Null()
{
    BeforeValue();
    text_ += L"null";
    return *this;
}
