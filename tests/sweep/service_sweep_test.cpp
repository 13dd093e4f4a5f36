// The fault sweep of the service's start and run: ServiceMain on the test's
// thread with four hotkeys (one blocked, one with an empty "run"), a user at
// the console (found through the session's token, and once more without
// it), two presses, a session change of every kind, the agent's request for
// the secure attention sequence and a stop, all delivered from inside the
// service's own wait; every Windows call and every allocation of it fails
// once. The registry (inside a sandbox), the events, the waits, the tokens
// and the program's path are real; the service manager, the console user,
// the process creation, sas.dll and the worker thread (run on the test's
// thread once the control handler has returned) are substituted.
#include "common/software_sas.h"
#include "service/hotkey_table.h"
#include "service/service_main.h"
#include "service/service_registration.h"
#include "service/service_state.h"
#include "service/session_tracking.h"
#include "tests/support/allocation_failure.h"
#include "tests/support/fake_sas.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/process_figures.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"
#include "tests/support/fake_console_account.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const SERVICE_STATUS_HANDLE kStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);
// A run that has slept this long, or waited this often, spins.
constexpr DWORD kVirtualTimeLimitMs = 60000;
constexpr int kWaitLimit = 1000;
// Stop requests that a service that refused one may be sent again.
constexpr int kStopRequests = 3;

std::wstring Unique(const wchar_t* base)
{
    return std::wstring(base) + L"." + std::to_wstring(GetCurrentProcessId());
}

struct Hotkeys {
    std::wstring runs = Unique(L"Sweep+A");
    std::wstring blocked = Unique(L"Sweep+Blocked");
    std::wstring empty = Unique(L"Sweep+Empty");
    std::wstring quoted = Unique(L"Sweep+B");

    void Configure() const
    {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(runs), L"run", L"sweep-a.exe");
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(blocked), L"run", L"sweep-blocked.exe");
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(blocked), L"Block", 1);
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(empty), L"run", L"");
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(quoted), L"run",
                                   L"\"C:\\Program Files\\Sweep\\b.exe\" --from-sweep");
        // Services may simulate the secure attention sequence.
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration, 1);
    }
};

// What arrives while the service waits, in this order.
struct Step {
    enum Kind { Press, SessionChange, SecureAttention, Stop } kind;
    std::wstring hotkey;
    DWORD eventType;
};

std::vector<Step> Script(const Hotkeys& hotkeys)
{
    std::vector<Step> steps = {{Step::Press, hotkeys.runs, 0}};
    // Every kind of session change, each logged-off one with a user recorded
    // before it where the order allows, ending logged on.
    for (DWORD type : {WTS_SESSION_LOCK, WTS_SESSION_UNLOCK, WTS_SESSION_LOGOFF, WTS_SESSION_LOGON,
                       WTS_CONSOLE_CONNECT, WTS_CONSOLE_DISCONNECT, WTS_REMOTE_CONNECT, WTS_REMOTE_DISCONNECT,
                       WTS_SESSION_REMOTE_CONTROL, WTS_SESSION_LOGON}) {
        steps.push_back({Step::SessionChange, L"", static_cast<DWORD>(type)});
    }
    steps.push_back({Step::Press, hotkeys.quoted, 0});
    steps.push_back({Step::SecureAttention, L"", 0});
    steps.push_back({Step::Stop, L"", 0});
    return steps;
}

// One run of the service: the substitutes below the fault injector, the
// status reports seen above it, and the driver of the script.
class ServiceRun {
public:
    ServiceRun(SweepRun& run, const Hotkeys& hotkeys) : run_(run), script_(Script(hotkeys))
    {
        reports_.reserve(32);
        substitutes_.Replace(&Win32Api::RegisterServiceCtrlHandlerExW,
                             [](LPCWSTR, LPHANDLER_FUNCTION_EX, LPVOID) { return kStatusHandle; });
        substitutes_.Replace(&Win32Api::SetServiceStatus, [](SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS) {
            EXPECT_EQ(handle, kStatusHandle);
            return TRUE;
        });
        substitutes_.Replace(&Win32Api::Sleep, [this](DWORD ms) {
            clock_ += ms;
            if (clock_ > kVirtualTimeLimitMs && !spinning_) {
                spinning_ = true;
                run_.Problem("the service spins: it has slept " + std::to_string(clock_) + " ms of virtual time");
            }
        });
        substitutes_.Replace(&Win32Api::WaitForMultipleObjects,
                             [this](DWORD count, const HANDLE* handles, BOOL all, DWORD timeout) {
            return Wait(count, handles, all, timeout);
        });
        // The logon marker under a name of this process: the real name is
        // machine-wide.
        const std::wstring marker = Unique(L"ZQKBFiltrWinLogon.Sweep");
        substitutes_.Replace(&Win32Api::CreateEventW,
                             [marker](LPSECURITY_ATTRIBUTES attributes, BOOL manual, BOOL initial, LPCWSTR name) {
            if (name != nullptr && std::wcscmp(name, kLogonMarkerName) == 0) {
                name = marker.c_str();
            }
            return ::CreateEventW(attributes, manual, initial, name);
        });
        // A started child: real handles (of this process and thread) for the
        // launcher to close.
        substitutes_.Replace(&Win32Api::CreateProcessAsUserW,
                             [](HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION process) {
            HANDLE self = GetCurrentProcess();
            BOOL made = DuplicateHandle(self, self, self, &process->hProcess, 0, FALSE, DUPLICATE_SAME_ACCESS);
            made = made && DuplicateHandle(self, GetCurrentThread(), self, &process->hThread, 0, FALSE,
                                           DUPLICATE_SAME_ACCESS);
            EXPECT_TRUE(made);
            return made;
        });
        substitutes_.Replace(&Win32Api::SetCurrentDirectoryW, [](LPCWSTR) { return TRUE; });
    }

    // Above the injector: every report the service makes, the failed ones
    // included (it does not examine the result).
    void WatchReports(KWin32Substitutes& above)
    {
        const auto report = win32.SetServiceStatus;
        above.Replace(&Win32Api::SetServiceStatus, [this, report](SERVICE_STATUS_HANDLE handle,
                                                                  LPSERVICE_STATUS status) {
            {
                AllocationPause pause;
                reports_.push_back(*status);
            }
            return report(handle, status);
        });
    }

    const std::vector<SERVICE_STATUS>& Reports() const { return reports_; }

    // After the run: sas.dll given back as often as it was loaded, SendSAS
    // called at most once and with FALSE, and only for a request that the
    // handler took (NO_ERROR), whose worker then ran.
    void CheckSecureAttention(SweepRun& run) const
    {
        if (sas_.References() != 0) {
            run.Problem(std::to_string(sas_.References()) + " reference(s) to sas.dll not given back");
        }
        const std::vector<BOOL> sent = sas_.SendSasCalls();
        if (sent.size() > 1 || (sent.size() == 1 && sent[0] != FALSE)) {
            run.Problem("SendSAS called " + std::to_string(sent.size()) + " time(s), not once with FALSE");
        }
        if (secureAttentionAnswer_ != NO_ERROR && !sent.empty()) {
            run.Problem("SendSAS called for a request refused with " + std::to_string(secureAttentionAnswer_));
        }
        if (secureAttentionAnswer_ == NO_ERROR && workersRun_ != 1) {
            run.Problem("a request taken with NO_ERROR started " + std::to_string(workersRun_) + " worker(s)");
        }
    }

private:
    DWORD Wait(DWORD count, const HANDLE* handles, BOOL all, DWORD timeout)
    {
        if (timeout != INFINITE) {
            return ::WaitForMultipleObjects(count, handles, all, timeout);
        }
        if (++waits_ > kWaitLimit) {
            if (waits_ == kWaitLimit + 1) {
                run_.Problem("the service spins: more than " + std::to_string(kWaitLimit) + " waits");
            }
            return WAIT_OBJECT_0 + count - 1;
        }
        for (;;) {
            const DWORD result = ::WaitForMultipleObjects(count, handles, all, 0);
            if (result != WAIT_TIMEOUT) {
                return result;
            }
            if (next_ < script_.size()) {
                Deliver(script_[next_++]);
                continue;
            }
            // Nothing more comes. A service that refused the stop (it reports
            // RUNNING again) is asked again, as an administrator would.
            if (!reports_.empty() && reports_.back().dwCurrentState == SERVICE_RUNNING && stops_ < kStopRequests) {
                Deliver(Step{Step::Stop, L"", 0});
                continue;
            }
            run_.Problem("the service never stops: it waits again after " + std::to_string(stops_) +
                         " stop request(s), and nothing more will come");
            return WAIT_OBJECT_0 + count - 1;
        }
    }

    // The code under test called back from inside its wait: counted again.
    void Deliver(const Step& step)
    {
        switch (step.kind) {
        case Step::Press: {
            HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"ZQKBFiltr" + step.hotkey).c_str());
            EXPECT_NE(event, nullptr) << "no event for a hotkey of a running service";
            if (event != nullptr) {
                ::SetEvent(event);
                ::CloseHandle(event);
            }
            return;
        }
        case Step::SessionChange: {
            AllocationResume counted;
            ServiceCtrlHandler(SERVICE_CONTROL_SESSIONCHANGE, step.eventType, nullptr, nullptr);
            return;
        }
        case Step::SecureAttention: {
            AllocationResume counted;
            secureAttentionAnswer_ = ServiceCtrlHandler(kSecureAttentionControl, 0, nullptr, nullptr);
            // The worker, once the handler has returned, as a thread of its
            // own would run it.
            workersRun_ = sas_.RunWorkers();
            return;
        }
        case Step::Stop: {
            ++stops_;
            AllocationResume counted;
            ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
            return;
        }
        }
    }

    SweepRun& run_;
    std::vector<Step> script_;
    size_t next_ = 0;
    int waits_ = 0;
    int stops_ = 0;
    DWORD clock_ = 0;
    bool spinning_ = false;
    std::vector<SERVICE_STATUS> reports_;
    DWORD secureAttentionAnswer_ = ERROR_INVALID_FUNCTION;  // no answer yet
    size_t workersRun_ = 0;
    KWin32Substitutes substitutes_;
    FakeSas sas_;
};

std::string StateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED:
        return "STOPPED";
    case SERVICE_START_PENDING:
        return "START_PENDING";
    case SERVICE_STOP_PENDING:
        return "STOP_PENDING";
    case SERVICE_RUNNING:
        return "RUNNING";
    default:
        return "state " + std::to_string(state);
    }
}

std::string Describe(const std::vector<SERVICE_STATUS>& reports)
{
    std::string text;
    for (const SERVICE_STATUS& report : reports) {
        text += (text.empty() ? "" : ", ") + StateName(report.dwCurrentState);
        if (report.dwWin32ExitCode != NO_ERROR) {
            text += " (" + std::to_string(report.dwWin32ExitCode) + ")";
        }
    }
    return text.empty() ? "none" : text;
}

// Either the normal road (RUNNING, later STOPPED with NO_ERROR after
// STOP_PENDING) or a stop during the start with the failure's error; no
// report at all when the control handler could not be registered.
void CheckReports(SweepRun& run, const std::vector<SERVICE_STATUS>& reports)
{
    const InjectedFailure& failure = run.Failure();
    if (failure.call != nullptr && std::string(failure.call) == "RegisterServiceCtrlHandlerExW") {
        if (!reports.empty()) {
            run.Problem("reports without a registered control handler: " + Describe(reports));
        }
        return;
    }
    bool running = false;
    for (const SERVICE_STATUS& report : reports) {
        running = running || report.dwCurrentState == SERVICE_RUNNING;
    }
    const bool startsPending = !reports.empty() && reports.front().dwCurrentState == SERVICE_START_PENDING;
    const bool endsStopped = !reports.empty() && reports.back().dwCurrentState == SERVICE_STOPPED;
    if (running) {
        const bool normal = startsPending && endsStopped && reports.back().dwWin32ExitCode == NO_ERROR &&
                            reports.size() >= 3 &&
                            reports[reports.size() - 2].dwCurrentState == SERVICE_STOP_PENDING;
        if (!normal) {
            run.Problem("a service that ran did not stop through STOP_PENDING to STOPPED with NO_ERROR: " +
                        Describe(reports));
        }
        return;
    }
    const DWORD expected = failure.allocation ? DWORD{ERROR_NOT_ENOUGH_MEMORY} : failure.error;
    const bool stoppedInStart = reports.size() == 2 && startsPending && endsStopped &&
                                reports.back().dwWin32ExitCode != NO_ERROR &&
                                (expected == NO_ERROR || reports.back().dwWin32ExitCode == expected);
    if (!stoppedInStart) {
        run.Problem("expected START_PENDING, then STOPPED with exit code " + std::to_string(expected) +
                    ", got: " + Describe(reports));
    }
}

// Every handle the run opened is closed, except what is left to the process's
// exit: the logon marker, and the events of a start that failed.
void CheckHandles(SweepRun& run, DWORD before, const std::vector<SERVICE_STATUS>& reports,
                  const SweepConsoleUser& user)
{
    bool started = false;
    for (const SERVICE_STATUS& report : reports) {
        started = started || report.dwCurrentState == SERVICE_RUNNING;
    }
    DWORD leftToExit = LogonMarkerEvent ? 1 : 0;
    DWORD openHotkeyEvents = 0;
    for (DWORD i = 0; HotkeyTable != nullptr && i < HotkeyCount; ++i) {
        openHotkeyEvents += HotkeyTable[i].event ? 1 : 0;
    }
    if (!started) {
        leftToExit += openHotkeyEvents + (StopEvent ? 1 : 0);
    } else if (openHotkeyEvents != 0 || StopEvent || WaitHandles != nullptr) {
        run.Problem("after STOPPED the hotkey events, the stop event or the wait handles are still held");
    }
    const DWORD after = CountProcessHandles(GetCurrentProcessId());
    if (after != before + leftToExit) {
        run.Problem(std::to_string(after) + " handles after the run, " + std::to_string(before) + " before (" +
                    std::to_string(leftToExit) + " left to the process's exit)");
    }
    if (user.Unreleased() != 0) {
        run.Problem(std::to_string(user.Unreleased()) + " terminal-services buffer(s) or SID string(s) not freed");
    }
}

TEST(FaultSweep, ServiceStartAndRun)
{
    RegistrySandbox sandbox;
    const Hotkeys hotkeys;
    hotkeys.Configure();
    ASSERT_NE(CountProcessHandles(GetCurrentProcessId()), 0u) << "the handles of this process cannot be counted";

    // With the session's token, as the service has it, and without, so that
    // the account is found by the user's qualified name.
    const auto serviceCase = [&](const std::string& name, bool sessionToken) {
        return SweepCase{name, [&, sessionToken](SweepRun& run) {
            // Real are the registry (in the sandbox), the events and their
            // security descriptor, the tokens,
            // the program's path and the SID strings; every other call is
            // substituted below, and one that is not fails the run.
            KStrictWin32Override api(&Win32Api::RegOpenKeyExW, &Win32Api::RegQueryInfoKeyW,
                                    &Win32Api::RegEnumKeyExW, &Win32Api::RegQueryValueExW,
                                    &Win32Api::RegCreateKeyExW, &Win32Api::RegSetValueExW, &Win32Api::RegFlushKey,
                                    &Win32Api::RegCloseKey, &Win32Api::SetEvent, &Win32Api::ResetEvent,
                                    &Win32Api::CloseHandle, &Win32Api::GetCurrentProcess,
                                    &Win32Api::OpenProcessToken, &Win32Api::DuplicateTokenEx,
                                    &Win32Api::SetTokenInformation, &Win32Api::GetModuleFileNameW,
                                    &Win32Api::GetLongPathNameW, &Win32Api::PathRemoveFileSpecW,
                                    &Win32Api::ConvertSidToStringSidW, &Win32Api::LocalFree,
                                    &Win32Api::ConvertStringSecurityDescriptorToSecurityDescriptorW);
            ResetServiceState();
            SweepConsoleUser user(sessionToken);
            ServiceRun service(run, hotkeys);
            const DWORD handlesBefore = CountProcessHandles(GetCurrentProcessId());

            run.Counted([] { ServiceMain(0, nullptr); },
                        [&](KWin32Substitutes& above) { service.WatchReports(above); });

            CheckReports(run, service.Reports());
            CheckHandles(run, handlesBefore, service.Reports(), user);
            service.CheckSecureAttention(run);
            // What stays on the heap: the hotkey table's storage, kept until
            // the process exits, with the count of its entries that new[]
            // keeps in front of an array whose elements have destructors.
            const size_t table =
                HotkeyTable != nullptr ? HotkeyCount * sizeof(HotkeyEntry) + sizeof(std::size_t) : 0;
            if (run.BytesHeld() > table) {
                run.Problem(std::to_string(run.BytesHeld()) + " bytes still allocated after the run, of which " +
                            std::to_string(table) + " are the hotkey table");
            }
            ResetServiceState();
        }};
    };
    const SweepCase service = serviceCase("four hotkeys, two presses, every session change, a secure-attention request, a stop", true);
    const SweepCase withoutToken =
        serviceCase("the same, the console user found by the qualified name (no session token)", false);
    const SweepFigures figures = RunFaultSweep("service start and run", {service, withoutToken});
    EXPECT_GT(figures.points, 0u);
}

}  // namespace
