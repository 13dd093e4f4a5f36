#include "service/hotkey_table.h"

#include "common/handles.h"
#include "service/launcher.h"
#include "service/service_state.h"

#include <cstdio>
#include <cwchar>
#include <new>

std::unique_ptr<HotkeyEntry[]> HotkeyTable;
DWORD HotkeyCount = 0;
std::unique_ptr<HANDLE[]> WaitHandles;

namespace {

// The error of the last failed call, never NO_ERROR.
DWORD LastErrorOr(DWORD fallback)
{
    const DWORD error = win32.GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

}  // namespace

bool EnumHotkeyNames(HKEY key, std::vector<std::wstring>& names, DWORD& error)
{
    wchar_t className[260] = {};
    DWORD classChars = 260;
    DWORD subkeys = 0;
    win32.RegQueryInfoKeyW(key, className, &classChars, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr);
    error = ERROR_NO_MORE_ITEMS;
    for (DWORD index = 0; index < subkeys; ++index) {
        wchar_t name[256] = {};
        DWORD nameChars = 255;
        FILETIME written = {};
        const LONG result = win32.RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, &written);
        if (result == ERROR_SUCCESS) {
            names.emplace_back(name);
        } else {
            error = static_cast<DWORD>(result);
        }
    }
    return names.size() == subkeys;
}

bool ReadRunCommand(HKEY subkey, std::wstring& command, DWORD& error)
{
    DWORD size = 0;
    LONG result = win32.RegQueryValueExW(subkey, L"run", nullptr, nullptr, nullptr, &size);
    if (result != ERROR_SUCCESS) {
        error = result == ERROR_FILE_NOT_FOUND ? ERROR_BAD_CONFIGURATION : static_cast<DWORD>(result);
        return false;
    }
    // Whole characters for every stored byte, an odd trailing byte included,
    // and one more that stays zero, so the text always ends inside the buffer.
    const size_t chars = (static_cast<size_t>(size) + 1) / 2 + 1;
    std::vector<wchar_t> buffer(chars, L'\0');
    DWORD type = 0;
    result = win32.RegQueryValueExW(subkey, L"run", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS) {
        error = static_cast<DWORD>(result);
        return false;
    }
    if (type != REG_SZ) {
        error = ERROR_BAD_CONFIGURATION;
        return false;
    }
    buffer[chars - 1] = L'\0';
    command = buffer.data();
    return true;
}

bool LoadHotkeyTable(DWORD& error)
{
    KReg hotkeyKey;
    LONG result = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHotkeyKeyPath, 0, KEY_READ, &hotkeyKey.key);
    if (result != ERROR_SUCCESS) {
        error = static_cast<DWORD>(result);
        return false;
    }
    std::vector<std::wstring> names;
    if (!EnumHotkeyNames(hotkeyKey.key, names, error)) {
        // A name too long for the enumeration buffer is a configuration fault.
        if (error == ERROR_MORE_DATA) {
            error = ERROR_BAD_CONFIGURATION;
        }
        return false;
    }
    if (names.empty() || names.size() > kMaxHotkeys) {
        error = ERROR_BAD_CONFIGURATION;
        return false;
    }
    HotkeyCount = static_cast<DWORD>(names.size());
    HotkeyTable.reset(new (std::nothrow) HotkeyEntry[HotkeyCount]());
    if (HotkeyTable == nullptr) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    hotkeyKey.Close();

    for (DWORD i = 0; i < HotkeyCount; ++i) {
        HotkeyEntry& entry = HotkeyTable[i];
        if (names[i].size() >= kHotkeyNameChars) {
            error = ERROR_BAD_CONFIGURATION;
            return false;
        }
        wmemcpy(entry.name, names[i].c_str(), names[i].size() + 1);

        wchar_t path[512] = {};
        swprintf(path, 512, L"%ls\\%ls", kHotkeyKeyPath, entry.name);
        KReg subkey;
        result = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &subkey.key);
        if (result != ERROR_SUCCESS) {
            error = static_cast<DWORD>(result);
            return false;
        }

        // A shorter value fills only the low-order bytes; the rest stay 0.
        BYTE block[4] = {};
        DWORD blockSize = sizeof(block);
        DWORD blockType = 0;
        if (win32.RegQueryValueExW(subkey.key, L"Block", nullptr, &blockType, block, &blockSize) == ERROR_SUCCESS) {
            entry.block = DwordFromBytes(block);
        }

        std::wstring command;
        if (!ReadRunCommand(subkey.key, command, error)) {
            return false;
        }
        if (command.size() >= kHotkeyCommandChars) {
            error = ERROR_BAD_CONFIGURATION;
            return false;
        }
        wmemcpy(entry.command, command.c_str(), command.size() + 1);

        wchar_t eventName[512] = {};
        swprintf(eventName, 512, L"%ls%ls", kHotkeyEventPrefix, entry.name);
        entry.event = win32.CreateEventW(nullptr, FALSE, FALSE, eventName);
        if (entry.event == nullptr) {
            error = LastErrorOr(ERROR_INVALID_HANDLE);
            return false;
        }
        // An event of that name that existed already may still hold a signal.
        win32.ResetEvent(entry.event);
    }
    error = ERROR_SUCCESS;
    return true;
}

bool BuildWaitHandles(DWORD& error)
{
    StopEvent = win32.CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (StopEvent == nullptr) {
        error = LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // On failure the stop event stays open, like events of a failed load.
    WaitHandles.reset(new (std::nothrow) HANDLE[HotkeyCount + 1]);
    if (WaitHandles == nullptr) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    for (DWORD i = 0; i < HotkeyCount; ++i) {
        WaitHandles[i] = HotkeyTable[i].event;
    }
    WaitHandles[HotkeyCount] = StopEvent;
    error = ERROR_SUCCESS;
    return true;
}

void DispatchHotkey(DWORD index)
{
    const HotkeyEntry& entry = HotkeyTable[index];
    win32.ResetEvent(entry.event);
    if (entry.block == 1 || entry.command[0] == L'\0') {
        return;
    }
    std::wstring commandLine = entry.command;
    commandLine += L' ';
    commandLine += entry.name;

    KLockHolder hold(ServiceLock);
    LaunchInConsoleSession(commandLine.c_str());
}
