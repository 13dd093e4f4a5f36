// Test support: whether a text holds a part, for the checks of messages,
// logs and program output. Needs no Windows header.
#pragma once

#include <string>

inline bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}
