// hotkeysim.exe: see HotkeySimUsage() in hotkeysim_rules.cpp.
#include "tools/hotkeysim.h"

#include <windows.h>

namespace {

// Writes to a console as UTF-16, to a file or pipe as UTF-8.
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
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr, nullptr);
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring out;
    std::wstring err;
    const int exitCode = RunHotkeySim(args, out, err);
    Write(STD_OUTPUT_HANDLE, out);
    Write(STD_ERROR_HANDLE, err);
    return exitCode;
}
