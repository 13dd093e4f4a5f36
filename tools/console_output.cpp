#include "tools/console_output.h"

#include "common/win32_api.h"

namespace {

void Write(DWORD which, const std::wstring& text)
{
    if (text.empty()) {
        return;
    }
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr, nullptr);
    win32.WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

void KConsoleOutput::Out(const std::wstring& text)
{
    Write(STD_OUTPUT_HANDLE, text);
}

void KConsoleOutput::Err(const std::wstring& text)
{
    Write(STD_ERROR_HANDLE, text);
}
