#include "agent/hotkey_actions.h"

#include "agent/client_detection.h"
#include "agent/hotkey_names.h"
#include "agent/key_forwarding.h"
#include "agent/secure_attention_request.h"
#include "agent/settings.h"
#include "common/handles.h"
#include "common/lock_policy.h"
#include "common/names.h"
#include "common/win32_api.h"

#include <exception>
#include <vector>

namespace {

constexpr int kDesktopPolls = 200;
constexpr DWORD kDesktopPollMs = 50;
// A write of 1 that fails is made again, after a pause, up to this many
// times in all: a failing write would leave the user unable to lock.
constexpr int kRestoreAttempts = 3;
constexpr DWORD kRestorePauseMs = 50;

void LockLocally()
{
    win32.LockWorkStation();
}

// Writes 1 as the user's "DisableLockWorkstation" when it goes out of scope,
// so that the value goes back to 1 on every way out of the local action,
// also when memory runs out on the way. Writing allocates nothing. Without
// a SID (the user's account could not be found) nothing is written.
class KLockPolicyRestore {
public:
    explicit KLockPolicyRestore(const std::wstring& sid) : sid_(sid) {}
    ~KLockPolicyRestore()
    {
        if (sid_.empty()) {
            return;
        }
        for (int attempt = 1; !SetLockWorkstationPolicyForSid(sid_.c_str(), 1) && attempt < kRestoreAttempts;
             ++attempt) {
            win32.Sleep(kRestorePauseMs);
        }
    }
    KLockPolicyRestore(const KLockPolicyRestore&) = delete;
    KLockPolicyRestore& operator=(const KLockPolicyRestore&) = delete;

private:
    const std::wstring& sid_;
};

}  // namespace

int RunAgent()
{
    try {
        HandleHotkey(HotkeyNameFromCommandLine(win32.GetCommandLineW()));
    } catch (const std::exception&) {
        // An allocation failure ends the run like any other failure.
    }
    return 0;
}

void HandleHotkey(const wchar_t* hotkeyName)
{
    switch (ClassifyHotkey(hotkeyName)) {
    case AgentHotkey::LWinL:
    case AgentHotkey::RWinL: {
        RemoteClientMatch match = {};
        if (DetectRemoteClient(match)) {
            // A client in front always takes the press, found window or not.
            if (match.targetWindow != nullptr) {
                ForwardWinL(WindowsKeyFor(hotkeyName), match);
            }
            return;
        }
        if (!IsLocalActionBlocked(hotkeyName)) {
            RunLocalAction(LockLocally);
        }
        return;
    }
    case AgentHotkey::CtrlAltDel:
        if (ForwardCtrlAltDel()) {
            return;
        }
        if (!IsLocalActionBlocked(hotkeyName)) {
            RunLocalAction(SendSecureAttentionLocally);
        }
        return;
    case AgentHotkey::None:
        return;
    }
}

void RunLocalAction(void (*action)())
{
    // The console user's SID, read once through the session and used for
    // both writes. A user whose account cannot be found still gets the
    // action, with nothing written.
    std::wstring sid;
    std::wstring user;
    if (!GetConsoleUserSid(sid, &user) && user.empty()) {
        return;
    }
    if (!sid.empty()) {
        SetLockWorkstationPolicyForSid(sid.c_str(), 0);
    }
    const KLockPolicyRestore restore(sid);
    action();
    WaitForWinlogonDesktop();
}

bool GetInputDesktopName(std::wstring& name)
{
    KDesktop desktop(win32.OpenInputDesktop(0, FALSE, DESKTOP_ENUMERATE));
    if (!desktop) {
        return false;
    }
    DWORD needed = 0;
    win32.GetUserObjectInformationW(desktop.get(), UOI_NAME, nullptr, 0, &needed);
    if (needed == 0) {
        return false;
    }
    // One more character than asked for, so that the text always ends.
    std::vector<wchar_t> buffer(needed / sizeof(wchar_t) + 2, L'\0');
    DWORD length = 0;
    if (!win32.GetUserObjectInformationW(desktop.get(), UOI_NAME, buffer.data(), needed, &length) || length == 0) {
        return false;
    }
    name = buffer.data();
    return true;
}

bool WaitForWinlogonDesktop()
{
    for (int polls = 0; polls < kDesktopPolls; ++polls) {
        std::wstring name;
        if (!GetInputDesktopName(name) || NamesEqual(name, L"Winlogon")) {
            return true;
        }
        win32.Sleep(kDesktopPollMs);
    }
    return false;
}
