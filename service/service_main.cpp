#include "service/service_main.h"

#include "service/hotkey_table.h"
#include "service/install.h"
#include "service/secure_attention.h"
#include "service/service_registration.h"
#include "service/service_state.h"
#include "service/session_tracking.h"

namespace {

static_assert(kServiceType == (SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS), "own process, interactive");

// A stop is not accepted before the service runs; session changes always are.
constexpr DWORD kAcceptedWhileStarting = SERVICE_ACCEPT_SESSIONCHANGE;
constexpr DWORD kAcceptedWhileRunning = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SESSIONCHANGE;
static_assert(kAcceptedWhileStarting == 0x80, "session changes only");
static_assert(kAcceptedWhileRunning == 0x81, "stop and session changes");
// Pause after a failed wait, so that a wait that keeps failing does not spin.
constexpr DWORD kFailedWaitPauseMs = 100;

void ReportStatus(DWORD state, DWORD controlsAccepted, DWORD exitCode = NO_ERROR)
{
    ServiceStatus.dwServiceType = kServiceType;
    ServiceStatus.dwCurrentState = state;
    ServiceStatus.dwControlsAccepted = controlsAccepted;
    ServiceStatus.dwWin32ExitCode = exitCode;
    ServiceStatus.dwServiceSpecificExitCode = 0;
    ServiceStatus.dwWaitHint = 0;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
        ServiceStatus.dwCheckPoint = CheckPointCounter++;
    } else {
        ServiceStatus.dwCheckPoint = 0;
    }
    win32.SetServiceStatus(StatusHandle, &ServiceStatus);
}

// Whether `handle` is signalled now, without waiting; an auto-reset event is
// reset by the check.
bool IsSignalled(HANDLE handle)
{
    return win32.WaitForMultipleObjects(1, &handle, FALSE, 0) == WAIT_OBJECT_0;
}

// Once the stop is seen: one pass in table order that serves each hotkey
// signalled at that moment, as the wait would have served them before the
// stop. A press that arrives after the pass has looked at its hotkey is not
// served.
void ServeSignalledHotkeysOnce()
{
    for (DWORD i = 0; i < HotkeyCount; ++i) {
        if (IsSignalled(HotkeyTable[i].event.get())) {
            DispatchHotkey(i);
        }
    }
}

}  // namespace

int ServiceProgramEntry(int argc, wchar_t** argv)
{
    if (argc == 2) {
        return RunCommandLineMode(argv[1]);
    }
    wchar_t entryName[] = L"ServiceMain";
    SERVICE_TABLE_ENTRYW table[] = {
        {entryName, ServiceMain},
        {nullptr, nullptr},
    };
    win32.StartServiceCtrlDispatcherW(table);
    return 0;
}

void WINAPI ServiceMain(DWORD, LPWSTR*)
{
    StatusHandle = nullptr;
    ServiceStatus = SERVICE_STATUS{};
    ServiceStatus.dwServiceType = kServiceType;
    StatusHandle = win32.RegisterServiceCtrlHandlerExW(kServiceName, ServiceCtrlHandler, nullptr);
    if (StatusHandle == nullptr) {
        return;
    }
    ReportStatus(SERVICE_START_PENDING, kAcceptedWhileStarting);

    DWORD error = NO_ERROR;
    if (!LoadHotkeyTable(error) || !BuildWaitHandles(error)) {
        ReportStatus(SERVICE_STOPPED, kAcceptedWhileRunning, error);
        return;
    }
    ReportStatus(SERVICE_RUNNING, kAcceptedWhileRunning);
    ApplyLoggedOnStateAtStart();

    for (;;) {
        const DWORD result = win32.WaitForMultipleObjects(HotkeyCount + 1, WaitHandles.get(), FALSE, INFINITE);
        // The wait reports the lowest signalled index: the stop only when no
        // hotkey is signalled.
        if (result == WAIT_OBJECT_0 + HotkeyCount) {
            break;
        }
        if (result < WAIT_OBJECT_0 + HotkeyCount) {
            DispatchHotkey(result - WAIT_OBJECT_0);
            // A hotkey pressed again before it is served would win every
            // wait: look for the stop after every dispatch.
            if (IsSignalled(StopEvent.get())) {
                ServeSignalledHotkeysOnce();
                break;
            }
        } else {
            win32.Sleep(kFailedWaitPauseMs);
        }
    }

    ReportStatus(SERVICE_STOP_PENDING, kAcceptedWhileRunning);
    ReleaseServiceResources();
    ReportStatus(SERVICE_STOPPED, kAcceptedWhileRunning);
}

DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD eventType, LPVOID, LPVOID)
{
    if (control == SERVICE_CONTROL_STOP) {
        ReportStatus(SERVICE_STOP_PENDING, kAcceptedWhileRunning);
        if (StopEvent && !win32.SetEvent(StopEvent.get())) {
            // The stop cannot reach the wait: the service goes on running
            // and says so, so that the stop can be requested again.
            ReportStatus(SERVICE_RUNNING, kAcceptedWhileRunning);
        }
    } else if (control == SERVICE_CONTROL_SESSIONCHANGE) {
        HandleSessionChange(eventType);
    } else if (control == kSecureAttentionControl) {
        // The one control whose answer the caller reads: whether the
        // service took the agent's request.
        return HandleSecureAttentionRequest();
    }
    return NO_ERROR;
}

void ReleaseServiceResources()
{
    for (DWORD i = 0; i < HotkeyCount; ++i) {
        CloseHotkeyEvent(HotkeyTable[i]);
    }
    StopEvent.Close();
    WaitHandles.reset();
    ForgetLoggedOnUser();
}
