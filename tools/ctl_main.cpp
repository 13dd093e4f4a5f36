// TarnwickCtl.exe: see DescribeCtlUsage() in ctl_args.cpp.
#include "common/win32_api.h"
#include "tools/console_output.h"
#include "tools/ctl.h"
#include "tools/watch.h"

#include <exception>

namespace {

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
    KConsoleOutput output;
    win32.SetConsoleCtrlHandler(ConsoleControl, TRUE);
    try {
        return RunTarnwickCtl(args, output);
    } catch (const std::exception&) {
        output.Err(L"TarnwickCtl: out of memory: close other programs and run it again\n");
        return kExitFailed;
    }
}
