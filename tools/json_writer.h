// JSON text for scripts, written in order. The text is ASCII only: every
// character outside ASCII is written as \uXXXX, characters beyond U+FFFF as
// a surrogate pair. Needs no Windows header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `text` as a JSON string, quotes included: quotation mark, backslash and
// the control characters escaped (\b \f \n \r \t, the others and DEL as
// \u00XX).
// UTF-16 code units are written as they are, also a surrogate without its
// partner; a wide character beyond U+10FFFF becomes U+FFFD.
std::wstring QuoteJsonString(const std::wstring& text);

// Builds one JSON value. Members of an object are a Key() followed by one
// value; commas are placed by the writer.
class KJsonWriter {
public:
    KJsonWriter& BeginObject();
    KJsonWriter& EndObject();
    KJsonWriter& BeginArray();
    KJsonWriter& EndArray();
    KJsonWriter& Key(const std::wstring& name);
    KJsonWriter& String(const std::wstring& text);
    KJsonWriter& Number(std::int64_t value);
    KJsonWriter& Bool(bool value);
    KJsonWriter& Null();

    const std::wstring& Text() const { return text_; }

private:
    void BeforeValue();
    void Open(wchar_t bracket);
    void Close(wchar_t bracket);

    std::wstring text_;
    std::vector<bool> empty_;  // per open container: nothing in it yet
    bool afterKey_ = false;
};
