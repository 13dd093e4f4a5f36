// road_bench: measures the installed service and agent under the real
// service manager, and prints the figures as rows of a Markdown table.
//
//   road_bench.exe --app DIR --work DIR [--idle-seconds N] [--presses N]
//                  [--dispatches N] [--stops N]
//
// DIR of --app holds the installed TarnwickSvc.exe (registered as
// "/install" registers it) and TarnwickAgent.exe; DIR of --work holds mstsc.exe (the
// fake client) and floor_poster.exe. The program writes the driver's hotkey
// key, starts and stops the service, and measures in this order:
//  1. the service's memory and handles after its start, and the CPU time it
//     uses while idle;
//  2. the agent from process start to exit for a press whose local action is
//     blocked, and a run of floor_poster with no client in front for
//     comparison;
//  3. press to first key at the client: with the fake client in front, the
//     time from setting a hotkey's event to the client's first WM_KEYDOWN,
//     for the agent and for floor_poster (the floor of this design), the
//     presses of the two taking turns; then the agent's with a key of
//     clients added by policy present, and with such a client (msrdc.exe,
//     like mstsc.exe) in front;
//  4. the service's memory and handles after many more presses (of a hotkey
//     whose program does not exist, so that each press runs the whole
//     dispatch and launch but starts nothing);
//  5. how long a stop takes, idle and during a burst of presses.
// Exit code 0 when every measurement could be made, 1 otherwise.
#include "bench/bench_clock.h"
#include "bench/bench_stats.h"
#include "common/driver_config.h"
#include "tests/support/narrow_text.h"
#include "tests/support/process_figures.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using UniqueServiceHandle = std::unique_ptr<std::remove_pointer<SC_HANDLE>::type, ServiceHandleCloser>;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "road_bench: %s (error %lu)\n", what.c_str(), GetLastError());
    std::exit(1);
}

std::string Summary(const std::vector<double>& samples, double upper, const char* upperName)
{
    char text[160];
    std::snprintf(text, sizeof(text), "median %.1f ms, %s %.1f ms (n=%zu)", Median(samples), upperName,
                  Percentile(samples, upper), samples.size());
    return text;
}

void SetHotkey(const std::wstring& name, const std::wstring& run, DWORD blockLocal = 0)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, HotkeySubkeyPath(name.c_str()).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        Fail("cannot write the hotkey " + Narrow(name));
    }
    RegSetValueExW(key, L"run", 0, REG_SZ, reinterpret_cast<const BYTE*>(run.c_str()),
                   static_cast<DWORD>((run.size() + 1) * sizeof(wchar_t)));
    if (blockLocal != 0) {
        RegSetValueExW(key, L"BlockLocal", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&blockLocal), sizeof(DWORD));
    }
    RegCloseKey(key);
}

// The service under the service manager.
class BenchService {
public:
    BenchService()
    {
        manager_.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (manager_) {
            service_.reset(OpenServiceW(manager_.get(), L"TarnwickSvc",
                                        SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
        }
        if (!service_) {
            Fail("TarnwickSvc is not installed");
        }
    }

    SERVICE_STATUS_PROCESS Status() const
    {
        SERVICE_STATUS_PROCESS status = {};
        DWORD needed = 0;
        QueryServiceStatusEx(service_.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                             &needed);
        return status;
    }

    // Polls every millisecond; the time waited in ms, or a negative number
    // when the state was not reached within the limit.
    double WaitFor(DWORD state, DWORD limitMs) const
    {
        const LONGLONG start = Now();
        while (Status().dwCurrentState != state) {
            if (Milliseconds(Now() - start) > limitMs) {
                return -1;
            }
            Sleep(1);
        }
        return Milliseconds(Now() - start);
    }

    void Start() const
    {
        if (!StartServiceW(service_.get(), 0, nullptr) || WaitFor(SERVICE_RUNNING, 30000) < 0) {
            Fail("the service did not start");
        }
    }

    // Requests the stop; the time until STOPPED, negative past the limit.
    double Stop(DWORD limitMs) const
    {
        SERVICE_STATUS status = {};
        const LONGLONG start = Now();
        ControlService(service_.get(), SERVICE_CONTROL_STOP, &status);
        const double waited = WaitFor(SERVICE_STOPPED, limitMs);
        return waited < 0 ? waited : Milliseconds(Now() - start);
    }

private:
    UniqueServiceHandle manager_;
    UniqueServiceHandle service_;
};

struct ServiceFigures {
    size_t workingSet;
    size_t privateBytes;
    DWORD handles;
};

ServiceFigures Measure(HANDLE process, DWORD processId)
{
    const ProcessMemory memory = QueryProcessMemory(process);
    return {memory.workingSet, memory.privateBytes, CountProcessHandles(processId)};
}

std::string Describe(const ServiceFigures& figures)
{
    char text[160];
    std::snprintf(text, sizeof(text), "working set %.1f MB, private %.1f MB, %lu handles",
                  static_cast<double>(figures.workingSet) / 1048576.0,
                  static_cast<double>(figures.privateBytes) / 1048576.0, figures.handles);
    return text;
}

double CpuMilliseconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        Fail("cannot read the service's CPU time");
    }
    auto value = [](const FILETIME& time) {
        return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 10000.0;
}

// Starts a program and waits for its exit; the time from the creation call
// to the exit in ms.
double RunToExit(const std::wstring& commandLine)
{
    std::wstring buffer = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const LONGLONG start = Now();
    if (!CreateProcessW(nullptr, &buffer[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        Fail("cannot start " + Narrow(commandLine));
    }
    UniqueHandle ownProcess(process.hProcess);
    UniqueHandle ownThread(process.hThread);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        Fail("did not exit: " + Narrow(commandLine));
    }
    return Milliseconds(Now() - start);
}

HANDLE OpenHotkeyEvent(const std::wstring& name)
{
    const HANDLE event = OpenEventW(EVENT_ALL_ACCESS, FALSE, HotkeyEventName(name.c_str()).c_str());
    if (event == nullptr) {
        Fail("no event for the hotkey " + Narrow(name));
    }
    return event;
}

// Whether an event is signalled, without consuming its signal.
class EventState {
public:
    EventState()
    {
        query_ = reinterpret_cast<Query>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryEvent")));
        if (query_ == nullptr) {
            Fail("NtQueryEvent is missing");
        }
    }
    bool Signalled(HANDLE event) const
    {
        struct {
            int type;
            LONG state;
        } info = {};
        query_(event, 0, &info, sizeof(info), nullptr);
        return info.state != 0;
    }

private:
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    Query query_ = nullptr;
};

// Presses the two hotkeys by turns, each press once the service's wait has
// taken the previous one. Taking turns makes every press count: the service
// clears a hotkey's event before it waits again, so by the time it has taken
// the other hotkey's press, its clearing of this one is done.
bool PressByTurns(HANDLE first, HANDLE second, int presses)
{
    const EventState state;
    for (int i = 0; i < presses; ++i) {
        const HANDLE event = i % 2 == 0 ? first : second;
        SetEvent(event);
        const LONGLONG start = Now();
        while (state.Signalled(event)) {
            if (Milliseconds(Now() - start) > 5000) {
                return false;
            }
            SwitchToThread();
        }
    }
    return true;
}

struct Options {
    std::wstring app;
    std::wstring work;
    int idleSeconds = 60;
    int presses = 100;  // of each kind
    int dispatches = 10000;
    int stops = 5;
};

Options ParseOptions(int argc, wchar_t** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        const std::wstring value = argv[i + 1];
        if (name == L"--app") {
            options.app = value;
        } else if (name == L"--work") {
            options.work = value;
        } else if (name == L"--idle-seconds") {
            options.idleSeconds = _wtoi(value.c_str());
        } else if (name == L"--presses") {
            options.presses = _wtoi(value.c_str());
        } else if (name == L"--dispatches") {
            options.dispatches = _wtoi(value.c_str());
        } else if (name == L"--stops") {
            options.stops = _wtoi(value.c_str());
        } else {
            Fail("unknown option " + Narrow(name));
        }
    }
    if (options.app.empty() || options.work.empty()) {
        Fail("usage: road_bench --app DIR --work DIR [--idle-seconds N] [--presses N] [--dispatches N] [--stops N]");
    }
    return options;
}

std::string FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        Fail("cannot read the size of " + Narrow(path));
    }
    return Format("%.0f KB", static_cast<double>(data.nFileSizeLow) / 1024.0);
}

// The key of the clients added by policy, made for the benchmark and
// deleted again with everything in it.
class PolicyClients {
public:
    PolicyClients() = default;
    ~PolicyClients()
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
    }
    PolicyClients(const PolicyClients&) = delete;
    PolicyClients& operator=(const PolicyClients&) = delete;

    void Set(const std::wstring& name, const std::wstring& data) const
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            Fail("cannot write the client policy");
        }
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

private:
    static constexpr const wchar_t* kKey = L"SOFTWARE\\Policies\\Tarnwick\\Clients";
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const Options options = ParseOptions(argc, argv);
    const std::wstring agent = options.app + L"\\TarnwickAgent.exe";
    const std::wstring poster = options.work + L"\\floor_poster.exe";
    const std::wstring stampName = L"TarnwickBenchStamp";
    const std::wstring readyPath = options.work + L"\\client-ready.txt";

    // The client's slot for the time of its first key-down, and its event.
    UniqueHandle stampMapping(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONGLONG), stampName.c_str()));
    UniqueHandle stampEvent(CreateEventW(nullptr, FALSE, FALSE, (stampName + L".key").c_str()));
    if (!stampMapping || !stampEvent) {
        Fail("cannot create the client's stamp");
    }
    auto* stamp = static_cast<volatile LONGLONG*>(
        MapViewOfFile(stampMapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LONGLONG)));
    if (stamp == nullptr) {
        Fail("cannot map the client's stamp");
    }

    SetHotkey(L"LWin+L", L"\"" + agent + L"\"", 1);
    SetHotkey(L"Bench+Floor", L"\"" + poster + L"\"");
    SetHotkey(L"Bench+Client", L"\"" + options.work + L"\\mstsc.exe\" --tree mstsc --log " + options.work +
                                   L"\\client-keys.txt --ready " + readyPath + L" --stamp " + stampName +
                                   L" --lifetime 1800");
    SetHotkey(L"Bench+PolicyClient", L"\"" + options.work + L"\\msrdc.exe\" --tree mstsc --log " + options.work +
                                         L"\\policy-client-keys.txt --ready " + options.work +
                                         L"\\policy-client-ready.txt --stamp " + stampName + L" --lifetime 1800");
    SetHotkey(L"Bench+Missing1", L"\"" + options.work + L"\\missing.exe\"");
    SetHotkey(L"Bench+Missing2", L"\"" + options.work + L"\\missing.exe\"");

    const BenchService service;
    service.Start();
    const DWORD serviceId = service.Status().dwProcessId;
    UniqueHandle serviceProcess(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, serviceId));
    if (!serviceProcess) {
        Fail("cannot open the service's process");
    }
    Sleep(1000);

    // 1. Idle.
    const ServiceFigures afterStart = Measure(serviceProcess.get(), serviceId);
    PrintRow("Service after start", Describe(afterStart));
    const double cpuBefore = CpuMilliseconds(serviceProcess.get());
    Sleep(static_cast<DWORD>(options.idleSeconds) * 1000);
    const double idleCpu = CpuMilliseconds(serviceProcess.get()) - cpuBefore;
    PrintRow(Format("Service CPU time while idle for %.0f s", options.idleSeconds),
             Format("%.0f ms", idleCpu));

    // 2. The agent's cost for a press that does nothing: no client in front,
    // and the local action blocked by "BlockLocal".
    std::vector<double> agentRuns;
    std::vector<double> floorRuns;
    for (int i = 0; i < 30; ++i) {
        agentRuns.push_back(RunToExit(L"\"" + agent + L"\" LWin+L"));
        floorRuns.push_back(RunToExit(L"\"" + poster + L"\""));
    }
    PrintRow("Agent, start to exit, local action blocked", Summary(agentRuns, 95, "p95"));
    PrintRow("floor_poster, no client in front, start to exit", Summary(floorRuns, 95, "p95"));
    PrintRow("Size of TarnwickSvc.exe / TarnwickAgent.exe",
             FileSize(options.app + L"\\TarnwickSvc.exe") + " / " + FileSize(agent));

    // 3. Press to first key, with the fake client in front. The client is
    // started by the service too, on the interactive desktop where the
    // service starts every command.
    SetEvent(UniqueHandle(OpenHotkeyEvent(L"Bench+Client")).get());
    for (int i = 0; i < 300 && GetFileAttributesW(readyPath.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(100);
    }
    if (GetFileAttributesW(readyPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Fail("the fake client did not come up");
    }
    const UniqueHandle agentHotkey(OpenHotkeyEvent(L"LWin+L"));
    const UniqueHandle floorHotkey(OpenHotkeyEvent(L"Bench+Floor"));
    std::vector<double> agentPresses;
    std::vector<double> floorPresses;
    int lost = 0;
    for (int i = 0; i < options.presses * 2; ++i) {
        const bool viaAgent = i % 2 == 0;
        *stamp = 0;
        ResetEvent(stampEvent.get());
        const LONGLONG pressed = Now();
        SetEvent(viaAgent ? agentHotkey.get() : floorHotkey.get());
        if (WaitForSingleObject(stampEvent.get(), 10000) == WAIT_OBJECT_0) {
            (viaAgent ? agentPresses : floorPresses).push_back(Milliseconds(*stamp - pressed));
        } else {
            ++lost;
        }
        Sleep(400);  // the rest of the agent's keys, and its exit
    }
    if (lost != 0 || agentPresses.empty() || floorPresses.empty()) {
        Fail(std::to_string(lost) + " presses reached no key at the client");
    }
    PrintRow("Press to first key at the client, through the agent", Summary(agentPresses, 95, "p95"));
    PrintRow("Press to first key, floor: a minimal program identifying the client and posting one key",
             Summary(floorPresses, 95, "p95"));
    PrintRow("Ratio agent / floor (medians)", Format("%.2f", Median(agentPresses) / Median(floorPresses)));
    PrintRow("Ratio agent / floor (95th percentiles)",
             Format("%.2f", Percentile(agentPresses, 95) / Percentile(floorPresses, 95)));

    // 3b. Clients added by policy: the built-in client in front again, now
    // with a policy key of twenty entries present (which the agent reads only
    // for a program that no built-in row knows), then a client that only
    // the policy knows, msrdc.exe like mstsc.exe.
    const auto agentPressesNow = [&](int count) {
        std::vector<double> samples;
        for (int i = 0; i < count; ++i) {
            *stamp = 0;
            ResetEvent(stampEvent.get());
            const LONGLONG pressed = Now();
            SetEvent(agentHotkey.get());
            if (WaitForSingleObject(stampEvent.get(), 10000) != WAIT_OBJECT_0) {
                Fail("a press reached no key at the client");
            }
            samples.push_back(Milliseconds(*stamp - pressed));
            Sleep(400);
        }
        return samples;
    };
    // The same presses, agent only, without the key first, so that the two
    // are measured alike.
    const std::vector<double> builtInWithoutPolicy = agentPressesNow(options.presses);
    PrintRow("Press to first key, built-in client, agent presses only, no policy key",
             Summary(builtInWithoutPolicy, 95, "p95"));
    const PolicyClients policy;
    for (int i = 0; i < 19; ++i) {
        policy.Set(L"client" + std::to_wstring(i) + L".exe", L"like=mstsc.exe;class=Session" + std::to_wstring(i));
    }
    policy.Set(L"msrdc.exe", L"like=mstsc.exe");
    const std::vector<double> builtInWithPolicy = agentPressesNow(options.presses);
    PrintRow("Press to first key, built-in client, with a policy key of 20 entries present",
             Summary(builtInWithPolicy, 95, "p95"));
    PrintRow("Ratio with / without the policy key (medians)",
             Format("%.2f", Median(builtInWithPolicy) / Median(builtInWithoutPolicy)));
    const std::wstring policyReady = options.work + L"\\policy-client-ready.txt";
    SetEvent(UniqueHandle(OpenHotkeyEvent(L"Bench+PolicyClient")).get());
    for (int i = 0; i < 300 && GetFileAttributesW(policyReady.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(100);
    }
    if (GetFileAttributesW(policyReady.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Fail("the fake client msrdc.exe did not come up");
    }
    const std::vector<double> policyClient = agentPressesNow(options.presses);
    PrintRow("Press to first key, client added by policy (msrdc.exe, like mstsc.exe, among 20 entries)",
             Summary(policyClient, 95, "p95"));

    // 4. Many presses.
    {
        const UniqueHandle first(OpenHotkeyEvent(L"Bench+Missing1"));
        const UniqueHandle second(OpenHotkeyEvent(L"Bench+Missing2"));
        const LONGLONG start = Now();
        if (!PressByTurns(first.get(), second.get(), options.dispatches)) {
            Fail("the service stopped taking presses");
        }
        const double elapsed = Milliseconds(Now() - start);
        Sleep(1000);
        const ServiceFigures afterPresses = Measure(serviceProcess.get(), serviceId);
        PrintRow(Format("Service after %.0f more presses", options.dispatches),
                 Describe(afterPresses) +
                     Format(" (%+.0f handles, %+.2f MB private since the start)",
                            static_cast<double>(afterPresses.handles) - static_cast<double>(afterStart.handles),
                            (static_cast<double>(afterPresses.privateBytes) -
                             static_cast<double>(afterStart.privateBytes)) /
                                1048576.0));
        PrintRow("Service, presses served per second (program missing, nothing started)",
                 Format("%.0f", options.dispatches / (elapsed / 1000.0)));
    }

    // 5. Stops: idle, then during bursts of presses.
    bool stopsOk = true;
    const double idleStop = service.Stop(10000);
    stopsOk = stopsOk && idleStop >= 0 && idleStop <= 1000;
    PrintRow("Stop, idle", idleStop < 0 ? std::string("not within 10 s") : Format("%.0f ms", idleStop));
    std::vector<double> burstStops;
    for (int trial = 0; trial < options.stops; ++trial) {
        service.Start();
        const UniqueHandle first(OpenHotkeyEvent(L"Bench+Missing1"));
        const UniqueHandle second(OpenHotkeyEvent(L"Bench+Missing2"));
        std::atomic<bool> pressing(true);
        std::thread burst([&] {
            while (pressing) {
                SetEvent(first.get());
                SetEvent(second.get());
            }
        });
        Sleep(300);
        const double stopped = service.Stop(10000);
        pressing = false;
        burst.join();
        if (stopped < 0) {
            stopsOk = false;
            service.WaitFor(SERVICE_STOPPED, 30000);
            burstStops.push_back(10000);
        } else {
            stopsOk = stopsOk && stopped <= 1000;
            burstStops.push_back(stopped);
        }
    }
    PrintRow("Stop during a burst of presses",
             Format("median %.0f ms, max %.0f ms (n=%.0f)", Median(burstStops), Percentile(burstStops, 100),
                    static_cast<double>(burstStops.size())) +
                 (stopsOk ? ", every stop within 1 s" : ", NOT every stop within 1 s"));

    UnmapViewOfFile(const_cast<LONGLONG*>(stamp));
    return stopsOk ? 0 : 1;
}
