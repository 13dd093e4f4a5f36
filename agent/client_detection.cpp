#include "agent/client_detection.h"

#include "agent/client_policy.h"
#include "agent/image_path_rules.h"
#include "common/handles.h"
#include "common/names.h"
#include "common/registry_reading.h"

#include <cwchar>
#include <exception>

bool DetectRemoteClient(RemoteClientMatch& match)
{
    return DetectRemoteClient(win32.GetForegroundWindow(), match, nullptr);
}

namespace {

// The policy entry for the program `fileName`, compared with the entries'
// names as the client table compares names. False when there is none, or
// when it is ignored (`fault` then says why). Reading stops at the first
// failure: whatever cannot be read is no entry.
bool FindPolicyClient(const wchar_t* fileName, ClientPolicyEntry& entry, ClientPolicyFault& fault)
{
    fault = ClientPolicyFault::None;
    KReg key;
    if (win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientPolicyKeyPath, 0, KEY_QUERY_VALUE, &key.key) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::vector<std::wstring> names;
    ReadValueNames(key.key, names);
    for (const std::wstring& name : names) {
        if (!NamesEqual(name, fileName)) {
            continue;
        }
        std::wstring data;
        const LONG read = ReadRegistryString(key.key, name.c_str(), data);
        if (read == ERROR_INVALID_DATATYPE) {
            fault = ClientPolicyFault::NotTheGrammar;
            return false;
        }
        if (read != ERROR_SUCCESS) {
            return false;
        }
        fault = ParseClientPolicyEntry(name, data, entry);
        return fault == ClientPolicyFault::None;
    }
    return false;
}

}  // namespace

bool DetectRemoteClient(HWND foreground, RemoteClientMatch& match, std::wstring* fileNameRead)
{
    return DetectRemoteClient(foreground, match, fileNameRead, nullptr);
}

bool DetectRemoteClient(HWND foreground, RemoteClientMatch& match, std::wstring* fileNameRead,
                        ClientPolicyEntry* policyClient)
{
    if (foreground == nullptr) {
        return false;
    }
    DWORD processId = 0;
    win32.GetWindowThreadProcessId(foreground, &processId);
    if (processId == 0) {
        return false;
    }
    wchar_t path[kLongPathChars] = {};
    if (!GetProcessImagePath(processId, path)) {
        return false;
    }
    const wchar_t* fileName = win32.PathFindFileNameW(path);
    if (fileName == nullptr) {
        return false;
    }
    if (fileNameRead != nullptr) {
        *fileNameRead = fileName;
    }
    const RemoteClientRow* row = FindRemoteClientRow(fileName);
    // Only a program that no built-in row knows is looked up among the
    // clients that administrators added by policy.
    ClientPolicyEntry entry;
    RemoteClientRow policyRow = {};
    if (row == nullptr) {
        ClientPolicyFault fault = ClientPolicyFault::None;
        if (!FindPolicyClient(fileName, entry, fault)) {
            return false;
        }
        policyRow = RowOfPolicyClient(entry);
        row = &policyRow;
    }
    const HWND target = FindDescendantWindow(foreground, row->targetClassName, row->targetWindowText);
    HWND command = target;
    if (row->commandRule == CommandWindowRule::ForegroundWindow) {
        command = foreground;
    } else if (row->commandRule == CommandWindowRule::DescendantByClass) {
        command = FindDescendantWindow(foreground, row->commandClassName, nullptr);
    }
    match.kind = row->kind;
    match.targetWindow = target;
    match.commandWindow = command;
    if (policyClient != nullptr) {
        *policyClient = row == &policyRow ? entry : ClientPolicyEntry();
    }
    return true;
}

bool GetProcessImagePath(DWORD processId, wchar_t* path)
{
    // The image path as the kernel keeps it (QueryFullProcessImageNameW),
    // with the least right that gives it: not the process's own memory,
    // which its user could rewrite.
    KHandle process(win32.OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return false;
    }
    wchar_t imagePath[kImagePathChars] = {};
    DWORD imageLength = kImagePathChars;
    if (!win32.QueryFullProcessImageNameW(process.get(), 0, imagePath, &imageLength) || imageLength == 0 ||
        imageLength >= kImagePathChars) {
        return false;
    }
    imagePath[imageLength] = L'\0';
    // A short (8.3) file name is made long, so that the client started
    // through it is still recognised; nothing else is looked up. A network
    // image comes back from the kernel as a UNC path, never under a drive
    // letter, so only local volumes are asked.
    if (!ShortNameMayStand(imagePath)) {
        wmemcpy(path, imagePath, imageLength + 1);
        return true;
    }
    wchar_t longPath[kLongPathChars] = {};
    const DWORD offered = kLongPathChars - 1;
    const DWORD length = win32.GetLongPathNameW(imagePath, longPath, offered);
    // A length that does not fit is the size the path would need: the
    // buffer then holds no path.
    if (length == 0 || length >= offered) {
        return false;
    }
    wmemcpy(path, longPath, length);
    path[length] = L'\0';
    return true;
}

BOOL CALLBACK CollectChildWindow(HWND window, LPARAM list)
{
    if (window == nullptr) {
        return FALSE;
    }
    // No exception may cross the system's enumeration: a list that cannot
    // grow ends the enumeration, and the walk sees the windows collected.
    try {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    } catch (const std::exception&) {
        return FALSE;
    }
    return TRUE;
}

namespace {

// Reads a window's text or class name through `read`; false when nothing
// could be read (a class name is never empty, and no sought text is empty).
template <typename Read>
bool ReadWindowName(HWND window, const Read& read, wchar_t (&buffer)[kWindowNameChars])
{
    buffer[0] = L'\0';
    const int length = read(window, buffer, kWindowNameChars);
    if (length <= 0) {
        return false;
    }
    buffer[length < kWindowNameChars ? length : kWindowNameChars - 1] = L'\0';
    return true;
}

}  // namespace

HWND FindDescendantWindow(HWND parent, const wchar_t* className, const wchar_t* windowText)
{
    if (className == nullptr && windowText == nullptr) {
        return nullptr;
    }
    std::vector<HWND> windows;
    win32.EnumChildWindows(parent, CollectChildWindow, reinterpret_cast<LPARAM>(&windows));
    wchar_t buffer[kWindowNameChars];
    for (const HWND window : windows) {
        if (windowText != nullptr &&
            !(ReadWindowName(window, win32.GetWindowTextW, buffer) && NamesEqual(buffer, windowText))) {
            continue;
        }
        if (className != nullptr &&
            !(ReadWindowName(window, win32.GetClassNameW, buffer) && NamesEqual(buffer, className))) {
            continue;
        }
        return window;
    }
    return nullptr;
}
