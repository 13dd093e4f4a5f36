#include "agent/client_policy.h"

#include "common/names.h"

#include <vector>

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

std::wstring Trimmed(const std::wstring& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
        if (at == std::wstring::npos) {
            return parts;
        }
        start = at + 1;
    }
}

// "key = value" into its trimmed key and value; false without an "=" or
// with either side empty.
bool KeyAndValue(const std::wstring& part, std::wstring& key, std::wstring& value)
{
    const size_t equals = part.find(L'=');
    if (equals == std::wstring::npos) {
        return false;
    }
    key = Trimmed(part.substr(0, equals));
    value = Trimmed(part.substr(equals + 1));
    return !key.empty() && !value.empty();
}

}  // namespace

ClientPolicyFault ParseClientPolicyEntry(const std::wstring& name, const std::wstring& data, ClientPolicyEntry& entry)
{
    if (FindRemoteClientRow(name.c_str()) != nullptr) {
        return ClientPolicyFault::BuiltInName;
    }
    const std::vector<std::wstring> parts = Split(data, L';');
    std::wstring key;
    std::wstring like;
    if (name.empty() || parts.size() > 3 || !KeyAndValue(parts[0], key, like) || !NamesEqual(key, L"like")) {
        return ClientPolicyFault::NotTheGrammar;
    }
    ClientPolicyEntry parsed;
    parsed.executableName = name;
    for (size_t i = 1; i < parts.size(); ++i) {
        std::wstring value;
        if (!KeyAndValue(parts[i], key, value)) {
            return ClientPolicyFault::NotTheGrammar;
        }
        if (NamesEqual(key, L"class") && !parsed.byClass) {
            parsed.byClass = true;
            parsed.className = value;
        } else if (NamesEqual(key, L"text") && !parsed.byText) {
            parsed.byText = true;
            parsed.windowText = value;
        } else {
            return ClientPolicyFault::NotTheGrammar;
        }
    }
    if (parsed.byClass && parsed.byText) {
        return ClientPolicyFault::ClassAndText;
    }
    parsed.like = FindRemoteClientRow(like.c_str());
    if (parsed.like == nullptr) {
        return ClientPolicyFault::UnknownLike;
    }
    entry = parsed;
    return ClientPolicyFault::None;
}

RemoteClientRow RowOfPolicyClient(const ClientPolicyEntry& entry)
{
    RemoteClientRow row = *entry.like;
    row.executableName = entry.executableName.c_str();
    if (entry.byClass) {
        row.targetClassName = entry.className.c_str();
        row.targetWindowText = nullptr;
    } else if (entry.byText) {
        row.targetClassName = nullptr;
        row.targetWindowText = entry.windowText.c_str();
    }
    return row;
}

std::wstring ClientPolicyFaultText(ClientPolicyFault fault)
{
    switch (fault) {
    case ClientPolicyFault::None:
        return L"";
    case ClientPolicyFault::NotTheGrammar:
        return L"the data does not read like=NAME, optionally followed by ;class=CLASS or ;text=TEXT";
    case ClientPolicyFault::UnknownLike: {
        std::wstring names;
        for (size_t i = 0; i < kRemoteClientRowCount; ++i) {
            names += (i == 0 ? L"" : L", ") + std::wstring(kRemoteClientRows[i].executableName);
        }
        return L"like names no built-in client (" + names + L")";
    }
    case ClientPolicyFault::ClassAndText:
        return L"it gives both class= and text=; give one of them";
    case ClientPolicyFault::BuiltInName:
        return L"it is named after a built-in client, which keeps its own handling";
    }
    return L"";
}
