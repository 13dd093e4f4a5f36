#include "service/launcher.h"

#include "common/handles.h"

#include <cwchar>
#include <vector>

namespace {

// The interactive window station and its default desktop. Since Windows 8
// (NoInteractiveServices = 1 by default) every service runs on a
// non-interactive window station ("Service-0x0-3e7$") whatever its
// interactive flag says, and a child that names no desktop inherits that
// station's name: there it has no foreground window, cannot lock the
// workstation and its input goes nowhere. Microsoft documents that a
// process started with lpDesktop naming a station and desktop runs there
// (STARTUPINFO, CreateProcessAsUser: "winsta0\\default" to let the process
// interact with the user), and that the LocalSystem account, whose token the
// child carries, is granted access to every session's WinSta0 and its
// default desktop ("Interacting with the User by a Non-Interactive
// Service").
constexpr wchar_t kInteractiveDesktop[] = L"winsta0\\default";

// Fills `buffer` (kPathChars) with the long path of the running program.
bool ReadModuleLongPath(wchar_t* buffer)
{
    wmemset(buffer, L'\0', kPathChars);
    // A result equal to the size means the path was cut short.
    const DWORD length = win32.GetModuleFileNameW(nullptr, buffer, kPathChars);
    if (length == 0 || length >= kPathChars) {
        return false;
    }
    const DWORD longLength = win32.GetLongPathNameW(buffer, buffer, kPathChars);
    return longLength != 0 && longLength < kPathChars;
}

}  // namespace

std::wstring GetModulePath()
{
    std::vector<wchar_t> buffer(kPathChars);
    if (!ReadModuleLongPath(buffer.data())) {
        return std::wstring();
    }
    return buffer.data();
}

std::wstring GetModuleDirectory()
{
    std::vector<wchar_t> buffer(kPathChars);
    if (!ReadModuleLongPath(buffer.data())) {
        return std::wstring();
    }
    if (!win32.PathRemoveFileSpecW(buffer.data())) {
        return std::wstring();
    }
    return buffer.data();
}

void LaunchInConsoleSession(const wchar_t* commandLine)
{
    KHandle processToken;
    win32.OpenProcessToken(win32.GetCurrentProcess(), TOKEN_ALL_ACCESS, processToken.put());
    KHandle userToken;
    win32.DuplicateTokenEx(processToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary,
                           userToken.put());
    DWORD session = win32.WTSGetActiveConsoleSessionId();
    win32.SetTokenInformation(userToken.get(), TokenSessionId, &session, sizeof(session));

    // The system may write into lpDesktop (it is not const): a copy.
    wchar_t desktop[sizeof(kInteractiveDesktop) / sizeof(kInteractiveDesktop[0])];
    wmemcpy(desktop, kInteractiveDesktop, sizeof(kInteractiveDesktop) / sizeof(kInteractiveDesktop[0]));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION process = {};

    // CreateProcessAsUserW may write into its command line: pass a copy.
    const size_t length = wcslen(commandLine);
    std::vector<wchar_t> buffer(commandLine, commandLine + length + 1);

    const std::wstring directory = GetModuleDirectory();
    if (directory.size() > 1) {
        win32.SetCurrentDirectoryW(directory.c_str());
    }

    // A console program gets no console window (CREATE_NO_WINDOW; the
    // documented flag for a console application run without one): on the
    // user's desktop, a LocalSystem console window would hand whoever
    // presses Ctrl+C in it a LocalSystem shell. A GUI program ignores it.
    if (win32.CreateProcessAsUserW(userToken.get(), nullptr, buffer.data(), nullptr, nullptr, FALSE,
                                   CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                                   &process)) {
        // The child is independent at once: its thread handle, then its
        // process handle, are closed right away.
        KHandle thread(process.hThread);
        KHandle child(process.hProcess);
        thread.Close();
        child.Close();
    }
}
