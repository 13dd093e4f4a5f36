#include "common/names.h"

wchar_t FoldAsciiCase(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool NamesEqual(const wchar_t* a, const wchar_t* b)
{
    if (a == nullptr || b == nullptr) {
        return false;
    }
    for (;; ++a, ++b) {
        if (FoldAsciiCase(*a) != FoldAsciiCase(*b)) {
            return false;
        }
        if (*a == L'\0') {
            return true;
        }
    }
}
