#include "tools/ctl_messages.h"

#include "tools/error_names.h"

std::wstring ErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = L"error " + std::to_wstring(error);
    if (length > 0 && text != nullptr) {
        std::wstring description(text, length);
        while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r' ||
                                         description.back() == L' ' || description.back() == L'.')) {
            description.pop_back();
        }
        message += L": " + description;
    }
    LocalFree(text);
    return message;
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
    std::wstring text = ErrorText(exitCode);  // "error N: text"
    const size_t colon = text.find(L": ");
    text = colon == std::wstring::npos ? std::wstring() : text.substr(colon + 2);
    if (name.empty()) {
        return text;
    }
    return text.empty() ? name : name + L": " + text;
}
