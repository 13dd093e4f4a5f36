#include "service/hotkey_table.h"

#include "common/driver_config.h"
#include "common/handles.h"
#include "service/launcher.h"
#include "service/service_events.h"
#include "service/service_state.h"

#include <exception>
#include <new>
#include <string>
#include <vector>

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

bool LoadEntries(DWORD& error)
{
    std::vector<std::wstring> names;
    if (!ReadHotkeyNames(names, error)) {
        return false;
    }
    HotkeyCount = static_cast<DWORD>(names.size());
    HotkeyTable.reset(new (std::nothrow) HotkeyEntry[HotkeyCount]());
    if (HotkeyTable == nullptr) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    for (DWORD i = 0; i < HotkeyCount; ++i) {
        HotkeyEntry& entry = HotkeyTable[i];
        if (!ReadHotkeyConfig(names[i], entry, error)) {
            return false;
        }
        entry.event.reset(CreateServiceEvent(FALSE, HotkeyEventName(entry.name).c_str()));
        if (!entry.event) {
            error = LastErrorOr(ERROR_INVALID_HANDLE);
            return false;
        }
        // An event of that name that existed already may still hold a signal.
        win32.ResetEvent(entry.event.get());
    }
    error = ERROR_SUCCESS;
    return true;
}

}  // namespace

bool LoadHotkeyTable(DWORD& error)
{
    try {
        return LoadEntries(error);
    } catch (const std::exception&) {
        // The names, the paths and the "run" buffer live in containers; one
        // that cannot grow ends the load like any other failure.
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
}

bool BuildWaitHandles(DWORD& error)
{
    StopEvent.reset(win32.CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!StopEvent) {
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
        WaitHandles[i] = HotkeyTable[i].event.get();
    }
    WaitHandles[HotkeyCount] = StopEvent.get();
    error = ERROR_SUCCESS;
    return true;
}

void DispatchHotkey(DWORD index)
{
    const HotkeyEntry& entry = HotkeyTable[index];
    win32.ResetEvent(entry.event.get());
    if (entry.block == 1 || entry.command[0] == L'\0') {
        return;
    }
    try {
        std::wstring commandLine = entry.command;
        commandLine += L' ';
        commandLine += entry.name;

        KLockHolder hold(ServiceLock);
        LaunchInConsoleSession(commandLine.c_str());
    } catch (const std::exception&) {
        // Memory that runs out while the command line is built or the
        // command started ends this press like a failed launch: nothing
        // starts, and the service goes on waiting.
    }
}

void CloseHotkeyEvent(HotkeyEntry& entry)
{
    entry.event.Close();
}
