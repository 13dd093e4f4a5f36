#include "agent/key_forwarding.h"

#include "agent/keystroke_flags.h"

namespace {

constexpr BYTE kVkL = 0x4C;

BYTE ScanCode(BYTE virtualKey)
{
    return static_cast<BYTE>(win32.MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC) & 0xFF);
}

// One synthesised key event with the key's scan code.
void KeyEvent(BYTE virtualKey, DWORD flags)
{
    win32.keybd_event(virtualKey, ScanCode(virtualKey), flags, 0);
}

// Windows key down, L down, pause, L up, Windows key up, pause.
void PostWinL(HWND window, BYTE windowsKey, DWORD pauseAfterL, DWORD pauseAfterRelease)
{
    PostKeyMessage(window, WM_KEYDOWN, windowsKey, 1);
    PostKeyMessage(window, WM_KEYDOWN, kVkL, 0);
    win32.Sleep(pauseAfterL);
    PostKeyMessage(window, WM_KEYUP, kVkL, 0);
    PostKeyMessage(window, WM_KEYUP, windowsKey, 1);
    if (pauseAfterRelease != 0) {
        win32.Sleep(pauseAfterRelease);
    }
}

// Insert pressed for 50 ms, then the client's command.
void InsertThenCommand(HWND commandWindow, UINT command)
{
    KeyEvent(VK_INSERT, 0);
    win32.Sleep(50);
    KeyEvent(VK_INSERT, KEYEVENTF_KEYUP);
    win32.PostMessageW(commandWindow, WM_COMMAND, command, 0);
}

}  // namespace

void PostKeyMessage(HWND window, UINT message, BYTE virtualKey, unsigned extended)
{
    const std::uint32_t flags = KeystrokeFlags(ScanCode(virtualKey), extended, message == WM_KEYUP);
    win32.PostMessageW(window, message, virtualKey, static_cast<LPARAM>(flags));
}

void SendLocalCtrlAltDel()
{
    KeyEvent(VK_CONTROL, 0);
    KeyEvent(VK_MENU, 0);
    KeyEvent(VK_DELETE, 0);
    KeyEvent(VK_DELETE, KEYEVENTF_KEYUP);
    KeyEvent(VK_MENU, KEYEVENTF_KEYUP);
    KeyEvent(VK_CONTROL, KEYEVENTF_KEYUP);
}

bool ForwardWinL(BYTE windowsKey, const RemoteClientMatch& match)
{
    const RemoteClientRow* row = RemoteClientRowOfKind(match.kind);
    if (row == nullptr) {
        return false;
    }
    if (match.targetWindow == nullptr) {
        return true;
    }
    switch (row->winL) {
    case WinLForm::PostedTwiceWithPauses:
        for (int pass = 0; pass < 2; ++pass) {
            PostWinL(match.targetWindow, windowsKey, 100, 100);
        }
        break;
    case WinLForm::PostedOnce:
        PostWinL(match.targetWindow, windowsKey, 50, 0);
        break;
    case WinLForm::NotSent:
        break;
    }
    return true;
}

bool ForwardCtrlAltDel()
{
    RemoteClientMatch match = {};
    if (!DetectRemoteClient(match)) {
        return false;
    }
    const RemoteClientRow* row = RemoteClientRowOfKind(match.kind);
    if (row == nullptr) {
        return false;
    }
    switch (row->ctrlAltDel) {
    case CtrlAltDelForm::CtrlF1Synthesised:
        // Ctrl+F1, after releasing whatever of Ctrl+Alt+Del is still down.
        KeyEvent(VK_DELETE, KEYEVENTF_KEYUP);
        KeyEvent(VK_MENU, KEYEVENTF_KEYUP);
        KeyEvent(VK_CONTROL, KEYEVENTF_KEYUP);
        KeyEvent(VK_CONTROL, 0);
        KeyEvent(VK_F1, 0);
        KeyEvent(VK_F1, KEYEVENTF_KEYUP);
        KeyEvent(VK_CONTROL, KEYEVENTF_KEYUP);
        break;
    case CtrlAltDelForm::CtrlAltDelPosted:
        PostKeyMessage(match.targetWindow, WM_KEYDOWN, VK_CONTROL, 1);
        PostKeyMessage(match.targetWindow, WM_KEYDOWN, VK_MENU, 1);
        PostKeyMessage(match.targetWindow, WM_KEYDOWN, VK_DELETE, 1);
        PostKeyMessage(match.targetWindow, WM_KEYUP, VK_DELETE, 1);
        PostKeyMessage(match.targetWindow, WM_KEYUP, VK_MENU, 1);
        PostKeyMessage(match.targetWindow, WM_KEYUP, VK_CONTROL, 1);
        break;
    case CtrlAltDelForm::CtrlAltEndSynthesised:
        KeyEvent(VK_MENU, 0);
        KeyEvent(VK_CONTROL, 0);
        KeyEvent(VK_END, KEYEVENTF_EXTENDEDKEY);
        KeyEvent(VK_END, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP);
        KeyEvent(VK_CONTROL, KEYEVENTF_KEYUP);
        KeyEvent(VK_MENU, KEYEVENTF_KEYUP);
        break;
    case CtrlAltDelForm::EndHeldForASecond:
        KeyEvent(VK_END, KEYEVENTF_EXTENDEDKEY);
        win32.Sleep(1000);
        KeyEvent(VK_END, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP);
        break;
    case CtrlAltDelForm::InsertThenCommand:
        InsertThenCommand(match.commandWindow, row->command);
        break;
    }
    return true;
}
