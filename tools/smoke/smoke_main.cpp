// TarnwickSmoke.exe: see DescribeSmokeUsage() in smoke_rules.cpp. The same program,
// copied as mstsc.exe and started with --client, is its own stand-in
// remote-desktop client.
#include "tools/console_output.h"
#include "tools/smoke/smoke.h"
#include "tools/smoke/smoke_client.h"
#include "tools/smoke/smoke_rules.h"

#include <exception>
#include <vector>

namespace {

// Ctrl+C and Ctrl+Break end the run's waits; it then removes its client and
// fails.
BOOL WINAPI ConsoleControl(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        InterruptSmoke();
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const SmokeArgs args = ParseSmokeArgs(std::vector<std::wstring>(argv + 1, argv + argc));
    KConsoleOutput output;
    if (!args.error.empty()) {
        output.Err(L"TarnwickSmoke: " + args.error + L"\n\n" + DescribeSmokeUsage());
        return kSmokeUsage;
    }
    try {
        switch (args.mode) {
        case SmokeMode::Help:
            output.Out(DescribeSmokeUsage());
            return kSmokePassed;
        case SmokeMode::Client:
            return RunSmokeClient(args.recordPath, args.parentId);
        case SmokeMode::Smoke:
            break;
        }
        win32.SetConsoleCtrlHandler(ConsoleControl, TRUE);
        return RunSmoke(args.service, output);
    } catch (const std::exception&) {
        output.Err(L"TarnwickSmoke: out of memory: close other programs and run it again\n");
        return kSmokeFailed;
    }
}
