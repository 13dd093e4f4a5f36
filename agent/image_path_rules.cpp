#include "agent/image_path_rules.h"

#include <cwchar>

bool ShortNameMayStand(const wchar_t* path)
{
    if (path == nullptr) {
        return false;
    }
    const wchar_t drive = path[0];
    const bool letter = (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    if (!letter || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) {
        return false;
    }
    const wchar_t* fileName = path;
    for (const wchar_t* c = path; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/') {
            fileName = c + 1;
        }
    }
    return std::wcschr(fileName, L'~') != nullptr;
}
