#include "service/service_state.h"

#include "service/hotkey_table.h"
#include "service/session_tracking.h"

SERVICE_STATUS_HANDLE StatusHandle = nullptr;
SERVICE_STATUS ServiceStatus = {};
DWORD CheckPointCounter = 1;
KHandle StopEvent;
KCriticalSection ServiceLock;

void ResetServiceState()
{
    for (DWORD i = 0; HotkeyTable != nullptr && i < HotkeyCount; ++i) {
        CloseHotkeyEvent(HotkeyTable[i]);
    }
    HotkeyTable.reset();
    HotkeyCount = 0;
    WaitHandles.reset();
    StopEvent.Close();
    StatusHandle = nullptr;
    ServiceStatus = SERVICE_STATUS{};
    CheckPointCounter = 1;
    KLockHolder hold(ServiceLock);
    LogonMarkerEvent.Close();
    // Its storage too, as in a new process.
    std::wstring().swap(LoggedOnUserSid);
}
