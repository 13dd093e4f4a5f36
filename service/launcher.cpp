#include "service/launcher.h"

#include "common/handles.h"

#include <cwchar>
#include <vector>

namespace {

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

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};

    // CreateProcessAsUserW may write into its command line: pass a copy.
    const size_t length = wcslen(commandLine);
    std::vector<wchar_t> buffer(commandLine, commandLine + length + 1);

    const std::wstring directory = GetModuleDirectory();
    if (directory.size() > 1) {
        win32.SetCurrentDirectoryW(directory.c_str());
    }

    if (win32.CreateProcessAsUserW(userToken.get(), nullptr, buffer.data(), nullptr, nullptr, FALSE,
                                   CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                                   &process)) {
        // The child is independent at once: its thread handle, then its
        // process handle, are closed right away.
        KHandle thread(process.hThread);
        KHandle child(process.hProcess);
        thread.Close();
        child.Close();
    }
}
