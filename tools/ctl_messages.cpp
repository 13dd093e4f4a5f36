#include "tools/ctl_messages.h"

#include "common/handles.h"
#include "tools/error_names.h"

namespace {

// The system's description of `error`, without the trailing line break and
// full stop; empty when the system has none.
std::wstring SystemText(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = win32.FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const KLocalString owned(buffer);
    if (length == 0 || buffer == nullptr) {
        return std::wstring();
    }
    std::wstring description(buffer, length);
    while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r' ||
                                     description.back() == L' ' || description.back() == L'.')) {
        description.pop_back();
    }
    return description;
}

}  // namespace

std::wstring ErrorText(DWORD error)
{
    const std::wstring description = SystemText(error);
    const std::wstring message = L"error " + std::to_wstring(error);
    return description.empty() ? message : message + L": " + description;
}

std::wstring FailureMessage(const std::wstring& what, DWORD error, const std::wstring& advice)
{
    std::wstring line = L"TarnwickCtl: " + what + L" (" + ErrorText(error) + L")";
    if (error == ERROR_ACCESS_DENIED) {
        line += L": run it from an elevated prompt";
    } else if (!advice.empty()) {
        line += L": " + advice;
    }
    return line + L"\n";
}

std::wstring MachinePath(const std::wstring& path)
{
    return L"HKEY_LOCAL_MACHINE\\" + path;
}

std::wstring ServiceExitCodeText(DWORD exitCode)
{
    const std::wstring meaning = ServiceExitCodeMeaning(exitCode);
    if (!meaning.empty()) {
        return meaning;
    }
    const std::wstring name = Win32ErrorName(exitCode);
    const std::wstring text = SystemText(exitCode);
    if (name.empty()) {
        return text;
    }
    return text.empty() ? name : name + L": " + text;
}
