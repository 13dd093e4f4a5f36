#include "tools/watch.h"

#include "agent/blocking_rules.h"
#include "agent/client_detection.h"
#include "agent/settings.h"
#include "common/driver_config.h"
#include "common/handles.h"
#include "common/lock_policy.h"

#include <atomic>
#include <cstdio>

namespace {

constexpr DWORD kPollMs = 100;

std::atomic<bool> Watching{false};
std::atomic<bool> StopRequested{false};

// Marks the watch as running for as long as it lives.
class KWatching {
public:
    KWatching()
    {
        StopRequested = false;
        Watching = true;
    }
    ~KWatching() { Watching = false; }
    KWatching(const KWatching&) = delete;
    KWatching& operator=(const KWatching&) = delete;
};

Blocking BlockingOf(const wchar_t* hotkey)
{
    const LocalBlock block = LocalActionBlock(hotkey);
    Blocking blocking;
    blocking.blocked = block != LocalBlock::None;
    blocking.byBlockLocal = block == LocalBlock::BlockLocal;
    return blocking;
}

std::wstring TimeOfDay()
{
    SYSTEMTIME now = {};
    win32.GetLocalTime(&now);
    wchar_t text[16] = {};
    swprintf(text, 16, L"%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    return text;
}

}  // namespace

WatchFacts ObserveForeground(HWND foreground)
{
    WatchFacts facts;
    facts.front.window = foreground != nullptr;
    RemoteClientMatch match = {};
    ClientPolicyEntry policy;
    facts.front.client = DetectRemoteClient(foreground, match, &facts.front.fileName, &policy);
    if (facts.front.client && policy.like != nullptr) {
        facts.front.policyName = policy.executableName;
        facts.front.policyLike = policy.like->executableName;
    }
    if (facts.front.client) {
        facts.front.kind = match.kind;
        facts.front.keyWindow = match.targetWindow != nullptr;
        facts.front.commandWindow = match.commandWindow != nullptr;
    }
    facts.lwin = BlockingOf(L"LWin+L");
    facts.rwin = BlockingOf(L"RWin+L");
    facts.ctrlAltDel = BlockingOf(L"ctrl+alt+del");
    std::wstring user;
    facts.userAtConsole = GetConsoleUserName(user);
    return facts;
}

bool RequestWatchStop()
{
    if (!Watching) {
        return false;
    }
    StopRequested = true;
    return true;
}

int RunWatchVerb(const CtlCommand& command, KCtlOutput& output)
{
    const KWatching watching;
    const DWORD start = win32.GetTickCount();
    HWND shown = nullptr;
    std::wstring shownLine;
    for (bool first = true;; first = false) {
        const HWND foreground = win32.GetForegroundWindow();
        const std::wstring line = FormatWatchLine(ObserveForeground(foreground));
        if (first || foreground != shown || line != shownLine) {
            output.Out(TimeOfDay() + L" " + line + L"\n");
            shown = foreground;
            shownLine = line;
        }
        if (StopRequested ||
            (command.watchLimited && win32.GetTickCount() - start >= command.watchSeconds * 1000u)) {
            return 0;
        }
        win32.Sleep(kPollMs);
    }
}
