#include "common/error_text.h"

#include "common/handles.h"

std::wstring ReadSystemErrorText(DWORD error)
{
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the function allocates the text
    // with LocalAlloc and stores its address where lpBuffer points; the
    // caller frees it with LocalFree. It returns 0 when the system has no
    // message for the number (ERROR_MR_MID_NOT_FOUND).
    wchar_t* buffer = nullptr;
    const DWORD length = win32.FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const KLocalString owned(buffer);
    if (length == 0 || buffer == nullptr) {
        return std::wstring();
    }
    return TrimSystemText(std::wstring(buffer, length));
}

std::wstring ExplainError(DWORD error)
{
    return DescribeError(error, false, ReadSystemErrorText(error));
}

std::wstring DescribeServiceExitCode(DWORD exitCode)
{
    // The system's text is asked for only where the table has no meaning.
    const std::wstring meaning = ExplainServiceExitCode(exitCode);
    return !meaning.empty() ? meaning : ComposeServiceExitCodeText(exitCode, ReadSystemErrorText(exitCode));
}
