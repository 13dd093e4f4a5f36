// TarnwickCtl.exe: see CtlUsage() in ctl_args.cpp.
#include "tools/ctl.h"
#include "tools/watch.h"

#include <windows.h>

#include <exception>

namespace {

// Writes to a console as UTF-16, to a file or pipe as UTF-8, at once.
class ConsoleOutput : public CtlOutput {
public:
    void Out(const std::wstring& text) override { Write(STD_OUTPUT_HANDLE, text); }
    void Err(const std::wstring& text) override { Write(STD_ERROR_HANDLE, text); }

private:
    static void Write(DWORD which, const std::wstring& text)
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
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr,
                            nullptr);
        WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
};

// Ctrl+C and Ctrl+Break end a watch, which then exits with 0; any other
// verb they end as usual.
BOOL WINAPI ConsoleControl(DWORD event)
{
    return (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && RequestWatchStop() ? TRUE : FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    ConsoleOutput output;
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
    try {
        return RunTarnwickCtl(args, output);
    } catch (const std::exception&) {
        output.Err(L"TarnwickCtl: out of memory: close other programs and run it again\n");
        return 1;
    }
}
