// dispatch_bench: the service's own dispatch of a hotkey press, measured in
// this process. ServiceMain runs on a thread of its own with the real
// registry (redirected to a scratch key), real events and the real token
// steps of the launcher; only the service manager's calls and the process
// creation are replaced, so that nothing starts. Each press sets the
// hotkey's event and waits until the process-creation call is made; the time
// between the two is one sample.
//
//   dispatch_bench.exe [PRESSES]     (default 10000)
//
// Prints rows of a Markdown table.
#include "bench/bench_clock.h"
#include "bench/bench_stats.h"
#include "common/driver_config.h"
#include "common/win32_api.h"
#include "service/service_main.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

int Fail(const char* what)
{
    std::fprintf(stderr, "dispatch_bench: %s (error %lu)\n", what, GetLastError());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int presses = argc > 1 ? _wtoi(argv[1]) : 10000;
    const std::wstring hotkey = L"Bench+Dispatch." + std::to_wstring(GetCurrentProcessId());

    // HKEY_LOCAL_MACHINE of this process is a scratch key.
    const std::wstring scratch = L"Software\\TarnwickBench\\" + std::to_wstring(GetCurrentProcessId());
    HKEY machine = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &machine,
                        nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine) != ERROR_SUCCESS) {
        return Fail("cannot redirect HKEY_LOCAL_MACHINE");
    }
    HKEY key = nullptr;
    const std::wstring run = L"missing.exe";
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, HotkeySubkeyPath(hotkey.c_str()).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return Fail("cannot write the hotkey");
    }
    RegSetValueExW(key, L"run", 0, REG_SZ, reinterpret_cast<const BYTE*>(run.c_str()),
                   static_cast<DWORD>((run.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    HANDLE running = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE launched = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    LONGLONG launchTime = 0;
    win32.RegisterServiceCtrlHandlerExW = [](LPCWSTR, LPHANDLER_FUNCTION_EX, LPVOID) {
        return reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);
    };
    win32.SetServiceStatus = [running](SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
        if (status->dwCurrentState == SERVICE_RUNNING) {
            SetEvent(running);
        }
        return TRUE;
    };
    // No console session: the check for a logged-on user at start writes nothing.
    win32.WTSGetActiveConsoleSessionId = [] { return static_cast<DWORD>(0xFFFFFFFF); };
    win32.CreateProcessAsUserW = [&launchTime, launched](HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES,
                                                         LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                                         LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
        launchTime = Now();
        SetEvent(launched);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    };

    std::thread serviceMain([] { ServiceMain(0, nullptr); });
    if (WaitForSingleObject(running, 30000) != WAIT_OBJECT_0) {
        return Fail("the service did not start");
    }
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, HotkeyEventName(hotkey.c_str()).c_str());
    if (event == nullptr) {
        return Fail("no hotkey event");
    }
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(presses));
    for (int i = 0; i < presses; ++i) {
        const LONGLONG pressed = Now();
        SetEvent(event);
        if (WaitForSingleObject(launched, 10000) != WAIT_OBJECT_0) {
            return Fail("a press was not dispatched");
        }
        samples.push_back(Milliseconds(launchTime - pressed) * 1000.0);
    }
    CloseHandle(event);
    ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    serviceMain.join();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(machine);
    RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());

    char value[160];
    std::snprintf(value, sizeof(value), "median %.0f us, p99 %.0f us (n=%d)", Median(samples),
                  Percentile(samples, 99), presses);
    PrintRow("Service dispatch, event set to process-creation call (in process, creation replaced)", value);
    return 0;
}
