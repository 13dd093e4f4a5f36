#include "tools/ctl_messages.h"

std::wstring FormatFailure(const std::wstring& what, DWORD error, const std::wstring& advice)
{
    std::wstring line = L"TarnwickCtl: " + what + L" (" + ExplainError(error) + L")";
    if (error == ERROR_ACCESS_DENIED) {
        line += L": run it from an elevated prompt";
    } else if (!advice.empty()) {
        line += L": " + advice;
    }
    return line + L"\n";
}

std::wstring QualifyMachinePath(const std::wstring& path)
{
    return L"HKEY_LOCAL_MACHINE\\" + path;
}
