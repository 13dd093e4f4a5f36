// The service's two threads against each other, thousands of times: the real
// ServiceMain serves presses on its thread while a second thread, standing in
// for the service manager's dispatcher thread, calls the control handler
// with session changes of every kind and then the stop, all at moments
// chosen by seeded random pauses. The registry (in a sandbox), the events
// and the waits are real; the service manager, the console user and the
// process creation are substituted.
//
// Each round has a seed of its own (the base seed plus the round's number);
// a failing round names it, and
//   TW_STRESS_SEED=<seed> TW_STRESS_ROUNDS=1
// runs that round again with the same pauses and choices (the interleaving
// of the threads itself cannot be replayed, only made likely again).
#include "common/driver_config.h"
#include "common/lock_policy_path.h"
#include "service/hotkey_table.h"
#include "service/service_main.h"
#include "service/service_state.h"
#include "service/session_tracking.h"
#include "tests/service/service_fakes.h"
#include "tests/support/fake_console_account.h"
#include "tests/support/process_figures.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// From the stop request to the return of ServiceMain, presses going on. A
// stop takes milliseconds: 430 ms was the longest in 20,000 rounds under
// Wine on a 2-core machine that was compiling besides.
constexpr std::chrono::milliseconds kStopBound{2000};
// A round whose threads have not ended this long after the stop request, or
// that has not come to its stop request this long after its start (the
// start, the session changes and the pauses take a few milliseconds), hangs.
constexpr std::chrono::milliseconds kHangLimit{5000};
// 10 to 20 s under Wine on a 2-core machine, up to 45 s while it compiles
// besides.
constexpr unsigned kDefaultRounds = 2000;

// The console user of every round, whose policy value the rounds follow.
const wchar_t kStressUser[] = L"stress";
const wchar_t kStressDomain[] = L"STRESSPC";
const wchar_t kStressSid[] = L"S-1-5-21-19-19-19-1001";
// The user's value before each round: neither 0 nor 1, so that a round that
// writes nothing shows.
constexpr DWORD kValueBeforeRound = 7;

// Session changes other than logon and unlock: every other WTS_* code
// (WTS_SESSION_CREATE and WTS_SESSION_TERMINATE included) and one that no
// version of Windows sends.
const DWORD kLoggedOffChanges[] = {WTS_CONSOLE_CONNECT,  WTS_CONSOLE_DISCONNECT,     WTS_REMOTE_CONNECT,
                                   WTS_REMOTE_DISCONNECT, WTS_SESSION_LOGOFF,         WTS_SESSION_LOCK,
                                   WTS_SESSION_REMOTE_CONTROL, 0xA, 0xB, 0x1234};

bool LoggedOn(DWORD change)
{
    return change == WTS_SESSION_LOGON || change == WTS_SESSION_UNLOCK;
}

// The hotkeys of every round: two that start their command, one blocked and
// one with an empty "run", all pressed alike.
struct StressHotkey {
    std::wstring name;
    bool blocked;
    bool emptyRun;

    bool Starts() const { return !blocked && !emptyRun; }
    std::wstring Run() const { return emptyRun ? std::wstring() : L"run-" + name; }
    std::wstring CommandLine() const { return Run() + L" " + name; }
};

// ---- Seeds and pauses

bool EnvironmentNumber(const char* name, std::uint64_t& value)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    value = std::strtoull(text, &end, 0);
    return *end == '\0';
}

// TW_STRESS_SEED, or a new one for every run.
std::uint32_t BaseSeed()
{
    std::uint64_t seed = 0;
    if (EnvironmentNumber("TW_STRESS_SEED", seed)) {
        return static_cast<std::uint32_t>(seed);
    }
    return static_cast<std::uint32_t>(Clock::now().time_since_epoch().count() ^ GetCurrentProcessId());
}

unsigned RoundCount()
{
    std::uint64_t rounds = 0;
    if (EnvironmentNumber("TW_STRESS_ROUNDS", rounds) && rounds > 0) {
        return static_cast<unsigned>(rounds);
    }
    return kDefaultRounds;
}

// One generator per thread of a round, so that what one thread draws does
// not depend on how far another has come.
std::mt19937 Generator(std::uint32_t seed, std::uint32_t thread)
{
    std::seed_seq sequence{seed, thread};
    return std::mt19937(sequence);
}

int Uniform(std::mt19937& rng, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(rng);
}

// The weights of the pauses: none, a yield, Sleep(0), Sleep(1), Sleep(2).
using PauseWeights = std::vector<int>;
const PauseWeights kDispatcherPauses = {30, 25, 20, 20, 5};
const PauseWeights kPressPauses = {40, 20, 20, 20, 0};
const PauseWeights kLaunchPauses = {70, 20, 10, 0, 0};

void Pause(std::mt19937& rng, const PauseWeights& weights)
{
    std::discrete_distribution<int> kind(weights.begin(), weights.end());
    switch (kind(rng)) {
    case 0:
        break;
    case 1:
        std::this_thread::yield();
        break;
    case 2:
        Sleep(0);
        break;
    case 3:
        Sleep(1);
        break;
    default:
        Sleep(2);
        break;
    }
}

std::int64_t Nanoseconds(Clock::time_point at)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

std::int64_t Nanoseconds(std::chrono::milliseconds span)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(span).count();
}

// ---- What a round leaves

bool MarkerExists()
{
    HANDLE marker = OpenEventW(SYNCHRONIZE, FALSE, kLogonMarkerName);
    if (marker == nullptr) {
        return false;
    }
    CloseHandle(marker);
    return true;
}

std::wstring PolicyKey()
{
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(kStressSid, path);
    return path;
}

// The console user's value, -1 when it cannot be read as a REG_DWORD.
long long PolicyValue()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_USERS, PolicyKey(), kDisableLockWorkstation, type, data) ||
        type != REG_DWORD || data.size() != sizeof(DWORD)) {
        return -1;
    }
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof(value));
    return value;
}

// ---- The threads of a round

// Signals that the threads of a round give each other (manual-reset events);
// made once for the whole run, so that every round counts the same handles.
struct Signals {
    Signals()
    {
        for (HANDLE* event : All()) {
            *event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        }
    }
    ~Signals()
    {
        for (HANDLE* event : All()) {
            CloseHandle(*event);
        }
    }
    Signals(const Signals&) = delete;
    Signals& operator=(const Signals&) = delete;

    void Reset()
    {
        for (HANDLE* event : All()) {
            ResetEvent(*event);
        }
    }

    HANDLE startPending = nullptr;  // START_PENDING reported: session changes may come
    HANDLE running = nullptr;       // RUNNING reported: the stop may come
    HANDLE loopEntered = nullptr;   // the first wait for hotkeys and the stop
    HANDLE serviceEnded = nullptr;  // ServiceMain returned
    HANDLE dispatcherEnded = nullptr;

private:
    std::vector<HANDLE*> All() { return {&startPending, &running, &loopEntered, &serviceEnded, &dispatcherEnded}; }
};

// What the threads of one round record. Each member is written by one
// thread only, or is atomic; the main thread reads the others once the
// threads have been joined.
struct Round {
    std::uint32_t seed = 0;
    Signals* signals = nullptr;
    Clock::time_point start;

    // One order of the moments that decide how the session tracking must
    // end: each is a value of `clock` (0: not yet).
    std::atomic<std::uint64_t> clock{0};
    std::atomic<std::uint64_t> runningAt{0};      // RUNNING; the start's check for a user follows
    std::atomic<std::uint64_t> loopEnteredAt{0};  // the first wait without a limit; that check is over

    // The dispatcher thread's.
    int changes = 0;
    DWORD lastChange = 0;
    std::uint64_t lastChangeBegin = 0;
    std::uint64_t lastChangeEnd = 0;
    std::atomic<std::int64_t> stopRequestedAt{0};  // steady clock, ns; 0: not yet
    std::atomic<bool> stopDelivered{false};        // the control handler has returned from the stop

    // The service thread's.
    std::int64_t serviceEndedAt = 0;
    std::map<std::wstring, int> launches;  // by command line
    int launchesAfterStop = 0;             // begun once the stop was delivered

    // A launch and a write of the lock policy at the same time, which
    // ServiceLock must prevent.
    std::atomic<bool> inLaunch{false};
    std::atomic<bool> inPolicyWrite{false};
    std::atomic<int> overlaps{0};

    std::mutex problemsMutex;
    std::vector<std::string> problems;

    std::uint64_t Tick() { return ++clock; }
    void Problem(const std::string& what)
    {
        std::lock_guard<std::mutex> hold(problemsMutex);
        problems.push_back(what);
    }
    // Waits for `event` until the round would hang; false then.
    bool WaitFor(HANDLE event) const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(kHangLimit - (Clock::now() - start));
        return left.count() > 0 && WaitForSingleObject(event, static_cast<DWORD>(left.count())) == WAIT_OBJECT_0;
    }
};

// A thread that runs one job of each round: the service's, or the
// dispatcher's. Made once for the whole run (under Wine a new thread costs a
// few milliseconds), with CreateThread rather than std::thread: the threads
// library of the MinGW runtime makes a wait object of its own the first time
// two of its threads meet in it, and keeps it, which a round's handle count
// would show.
class Worker {
public:
    Worker()
    {
        go_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        idle_ = CreateEventW(nullptr, FALSE, TRUE, nullptr);
        thread_ = CreateThread(nullptr, 0, &Worker::Loop, this, 0, nullptr);
    }
    ~Worker()
    {
        Start(nullptr);
        WaitForSingleObject(thread_, INFINITE);
        for (HANDLE handle : {thread_, go_, idle_}) {
            CloseHandle(handle);
        }
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs `job` on the worker once the previous job has returned; an empty
    // job ends the worker.
    void Start(std::function<void()> job)
    {
        WaitForSingleObject(idle_, INFINITE);
        job_ = std::move(job);
        SetEvent(go_);
    }

private:
    static DWORD WINAPI Loop(LPVOID self)
    {
        auto* worker = static_cast<Worker*>(self);
        for (;;) {
            WaitForSingleObject(worker->go_, INFINITE);
            if (!worker->job_) {
                return 0;
            }
            worker->job_();
            SetEvent(worker->idle_);
        }
    }

    HANDLE go_ = nullptr;
    HANDLE idle_ = nullptr;
    HANDLE thread_ = nullptr;
    std::function<void()> job_;
};

// The service manager's side: session changes from START_PENDING on, at
// random moments, then the stop, in one of three ways:
// - the stop as soon as the service runs (before or while it checks for a
//   user at the console);
// - once the service runs, changes at once, against that check, then the
//   stop;
// - changes after the service has begun to wait for hotkeys, then the stop
//   (half of the rounds).
void RunDispatcher(Round& round)
{
    std::mt19937 rng = Generator(round.seed, 1);
    const auto deliver = [&](bool pause) {
        DWORD change = 0;
        if (Uniform(rng, 0, 1) == 0) {
            change = Uniform(rng, 0, 1) == 0 ? WTS_SESSION_LOGON : WTS_SESSION_UNLOCK;
        } else {
            const int count = static_cast<int>(sizeof(kLoggedOffChanges) / sizeof(kLoggedOffChanges[0]));
            change = kLoggedOffChanges[Uniform(rng, 0, count - 1)];
        }
        WTSSESSION_NOTIFICATION notification = {};
        notification.cbSize = sizeof(notification);
        notification.dwSessionId = static_cast<DWORD>(Uniform(rng, 0, 3));
        if (pause) {
            Pause(rng, kDispatcherPauses);
        }
        const std::uint64_t begin = round.Tick();
        const DWORD result = ServiceCtrlHandler(SERVICE_CONTROL_SESSIONCHANGE, change, &notification, nullptr);
        round.lastChangeEnd = round.Tick();
        round.lastChangeBegin = begin;
        round.lastChange = change;
        ++round.changes;
        if (result != NO_ERROR) {
            round.Problem("the control handler answered a session change with " + std::to_string(result));
        }
    };

    const int way = Uniform(rng, 0, 3);
    const int changesDuringStart = Uniform(rng, 0, 4);
    const int changesAfter = Uniform(rng, 1, 4);
    // Session changes are accepted from the first report on.
    if (!round.WaitFor(round.signals->startPending)) {
        round.Problem("no START_PENDING report");
        return;
    }
    for (int i = 0; i < changesDuringStart; ++i) {
        deliver(true);
    }
    if (way <= 1) {
        // The service manager sends no stop before RUNNING.
        if (!round.WaitFor(round.signals->running)) {
            round.Problem("no RUNNING report");
            return;
        }
        for (int i = 0; way == 1 && i < changesAfter; ++i) {
            deliver(false);
        }
    } else {
        if (!round.WaitFor(round.signals->loopEntered)) {
            round.Problem("the service does not come to its wait for hotkeys");
            return;
        }
        for (int i = 0; i < changesAfter; ++i) {
            deliver(true);
        }
    }
    Pause(rng, kDispatcherPauses);
    round.stopRequestedAt = Nanoseconds(Clock::now());
    const DWORD result = ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    round.stopDelivered = true;
    if (result != NO_ERROR) {
        round.Problem("the control handler answered the stop with " + std::to_string(result));
    }
}

// The calls of a round that the threads meet in, on top of the recorders of
// FreshServiceRun and the fake console user: they tell the dispatcher thread
// how far the service has come, note launches and policy writes that run
// into each other, and start no process.
class RoundWatch {
public:
    explicit RoundWatch(Round& round);

private:
    void SerialiseConsoleUser();

    KWin32Substitutes substitutes_;
    std::mutex consoleMutex_;
    std::mt19937 launchRng_;
};

RoundWatch::RoundWatch(Round& round) : launchRng_(Generator(round.seed, 3))
{
    SerialiseConsoleUser();
    const auto report = win32.SetServiceStatus;
    substitutes_.Replace(&Win32Api::SetServiceStatus,
                         [report, &round](SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status) {
        const DWORD state = status->dwCurrentState;
        if (state == SERVICE_RUNNING) {
            round.runningAt = round.Tick();
        }
        const BOOL result = report(handle, status);
        if (state == SERVICE_START_PENDING) {
            SetEvent(round.signals->startPending);
        } else if (state == SERVICE_RUNNING) {
            SetEvent(round.signals->running);
        }
        return result;
    });
    // The loop's first wait without a limit: the start's check for a user is
    // over.
    const auto wait = win32.WaitForMultipleObjects;
    substitutes_.Replace(&Win32Api::WaitForMultipleObjects,
                         [wait, &round](DWORD count, const HANDLE* handles, BOOL all, DWORD timeout) {
        if (timeout == INFINITE && round.loopEnteredAt == 0) {
            round.loopEnteredAt = round.Tick();
            SetEvent(round.signals->loopEntered);
        }
        return wait(count, handles, all, timeout);
    });
    const auto setValue = win32.RegSetValueExW;
    substitutes_.Replace(&Win32Api::RegSetValueExW, [setValue, &round](HKEY key, LPCWSTR name, DWORD reserved,
                                                                       DWORD type, const BYTE* data, DWORD size) {
        round.inPolicyWrite = true;
        if (round.inLaunch) {
            ++round.overlaps;
        }
        const LONG result = setValue(key, name, reserved, type, data, size);
        round.inPolicyWrite = false;
        return result;
    });
    substitutes_.Replace(&Win32Api::CreateProcessAsUserW,
                         [this, &round](HANDLE, LPCWSTR, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                                        LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                        LPPROCESS_INFORMATION process) -> BOOL {
        round.inLaunch = true;
        if (round.inPolicyWrite) {
            ++round.overlaps;
        }
        ++round.launches[commandLine];
        if (round.stopDelivered) {
            ++round.launchesAfterStop;
        }
        // A while inside the launch, for a policy write to run into.
        Pause(launchRng_, kLaunchPauses);
        if (round.inPolicyWrite) {
            ++round.overlaps;
        }
        // Handles that the launch recorder takes back when the launcher
        // closes them.
        process->hProcess = kFakeChildProcess;
        process->hThread = kFakeChildThread;
        process->dwProcessId = 4242;
        process->dwThreadId = 4243;
        round.inLaunch = false;
        return TRUE;
    });
}

// The fake console user keeps its books without a lock, and both threads
// ask it for the session's user name (the start's check for a user runs
// without ServiceLock): its calls are made one at a time.
void RoundWatch::SerialiseConsoleUser()
{
    const auto query = win32.WTSQuerySessionInformationW;
    substitutes_.Replace(&Win32Api::WTSQuerySessionInformationW,
                         [this, query](HANDLE server, DWORD session, WTS_INFO_CLASS infoClass, LPWSTR* buffer,
                                       DWORD* bytes) {
        std::lock_guard<std::mutex> hold(consoleMutex_);
        return query(server, session, infoClass, buffer, bytes);
    });
    const auto freeMemory = win32.WTSFreeMemory;
    substitutes_.Replace(&Win32Api::WTSFreeMemory, [this, freeMemory](PVOID memory) {
        std::lock_guard<std::mutex> hold(consoleMutex_);
        freeMemory(memory);
    });
    const auto userToken = win32.WTSQueryUserToken;
    substitutes_.Replace(&Win32Api::WTSQueryUserToken, [this, userToken](ULONG session, PHANDLE token) {
        std::lock_guard<std::mutex> hold(consoleMutex_);
        return userToken(session, token);
    });
    const auto lookup = win32.LookupAccountNameW;
    substitutes_.Replace(&Win32Api::LookupAccountNameW,
                         [this, lookup](LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR domain,
                                        LPDWORD domainChars, PSID_NAME_USE use) {
        std::lock_guard<std::mutex> hold(consoleMutex_);
        return lookup(system, account, sid, sidSize, domain, domainChars, use);
    });
}

// Ends the test program for a round that does not end: its threads cannot
// be taken back, and a hang must fail the test, not wait for ctest's limit.
[[noreturn]] void EndForAHang(const Round& round, unsigned index, const std::vector<SERVICE_STATUS>& reports)
{
    std::string states;
    for (const SERVICE_STATUS& report : reports) {
        states += " " + std::to_string(report.dwCurrentState);
    }
    const bool serviceEnded = WaitForSingleObject(round.signals->serviceEnded, 0) == WAIT_OBJECT_0;
    const bool dispatcherEnded = WaitForSingleObject(round.signals->dispatcherEnded, 0) == WAIT_OBJECT_0;
    std::printf("round %u, seed %" PRIu32 " hangs (replay: TW_STRESS_SEED=%" PRIu32
                " TW_STRESS_ROUNDS=1): ServiceMain %s, the dispatcher thread %s, the stop %s; reports:%s\n",
                index, round.seed, round.seed, serviceEnded ? "returned" : "has not returned",
                dispatcherEnded ? "ended" : "has not ended",
                round.stopRequestedAt.load() != 0 ? "requested" : "not requested", states.c_str());
    ADD_FAILURE() << "round " << index << ", seed " << round.seed << " hangs";
    std::fflush(stdout);
    std::_Exit(3);
}

struct Totals {
    std::uint64_t presses = 0;
    std::uint64_t launches = 0;
    std::uint64_t changes = 0;
    unsigned lastChangeDecides = 0;  // it began after the start's check for a user
    unsigned startDecides = 0;       // every change had ended before that check
    unsigned eitherDecides = 0;      // the last change and that check ran together
    std::int64_t longestStopNs = 0;
    int mostLaunchesAfterStop = 0;
};

class ServiceThreadsStress : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetServiceState();
        for (const StressHotkey& hotkey : hotkeys) {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(hotkey.name), L"run", hotkey.Run());
            if (hotkey.blocked) {
                RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, HotkeySubkey(hotkey.name), L"Block", 1);
            }
        }
    }
    void TearDown() override { ResetServiceState(); }

    // One round, checked (the caller asks HasFailure); a round that hangs
    // ends the program.
    void RunRound(unsigned index, std::uint32_t seed, Totals& totals);
    // This thread is the driver: it presses hotkeys at random moments, from
    // the moment their events exist until both threads have ended.
    void Press(Round& round, unsigned index, StatusRecorder& recorder, std::vector<std::uint64_t>& presses);
    void CheckRound(Round& round, const std::vector<SERVICE_STATUS>& reports,
                    const std::vector<std::uint64_t>& presses, Totals& totals);

    RegistrySandbox sandbox;
    const std::vector<StressHotkey> hotkeys = {{UniqueHotkey(L"Stress+A"), false, false},
                                               {UniqueHotkey(L"Stress+B"), true, false},
                                               {UniqueHotkey(L"Stress+C"), false, true},
                                               {UniqueHotkey(L"Stress+D"), false, false}};
    Signals signals;
    Worker serviceThread;
    Worker dispatcherThread;
};

void ServiceThreadsStress::RunRound(unsigned index, std::uint32_t seed, Totals& totals)
{
    RegistrySandbox::SetDword(HKEY_USERS, PolicyKey(), kDisableLockWorkstation, kValueBeforeRound);
    signals.Reset();
    Round round;
    round.seed = seed;
    round.signals = &signals;
    std::vector<std::uint64_t> presses(hotkeys.size(), 0);

    // The service's globals as in a new process, the Windows calls in strict
    // mode, the status reports and the launches recorded, and the console
    // user's policy written for real (in the sandbox).
    FreshServiceRun run;
    run.api.UseReal(&Win32Api::RegCreateKeyExW, &Win32Api::RegSetValueExW, &Win32Api::RegFlushKey,
                    &Win32Api::ConvertSidToStringSidW);
    FakeConsoleAccount console(kStressUser, kStressDomain);
    console.tokenSid = kStressSid;
    {
        RoundWatch watch(round);
        round.start = Clock::now();
        serviceThread.Start([&round] {
            ServiceMain(0, nullptr);
            round.serviceEndedAt = Nanoseconds(Clock::now());
            SetEvent(round.signals->serviceEnded);
        });
        dispatcherThread.Start([&round] {
            RunDispatcher(round);
            SetEvent(round.signals->dispatcherEnded);
        });
        // Returns once both jobs have signalled their end.
        Press(round, index, run.recorder, presses);
    }
    CheckRound(round, run.recorder.Reports(), presses, totals);
    EXPECT_EQ(console.sessionBuffersOpen, 0);
    EXPECT_EQ(console.tokensOpen, 0);
}

void ServiceThreadsStress::Press(Round& round, unsigned index, StatusRecorder& recorder,
                                 std::vector<std::uint64_t>& presses)
{
    std::mt19937 rng = Generator(round.seed, 2);
    std::vector<HANDLE> events(hotkeys.size(), nullptr);
    HANDLE ended[] = {signals.serviceEnded, signals.dispatcherEnded};
    while (WaitForMultipleObjects(2, ended, TRUE, 0) != WAIT_OBJECT_0) {
        const std::int64_t stopAt = round.stopRequestedAt;
        const bool hangs = stopAt != 0 ? Nanoseconds(Clock::now()) - stopAt > Nanoseconds(kHangLimit)
                                       : Clock::now() - round.start > kHangLimit;
        if (hangs) {
            EndForAHang(round, index, recorder.Reports());
        }
        const size_t k = static_cast<size_t>(Uniform(rng, 0, static_cast<int>(hotkeys.size()) - 1));
        if (events[k] == nullptr) {
            events[k] = OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"ZQKBFiltr" + hotkeys[k].name).c_str());
        }
        if (events[k] != nullptr && SetEvent(events[k])) {
            ++presses[k];
        }
        Pause(rng, kPressPauses);
    }
    for (HANDLE event : events) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
}

void ServiceThreadsStress::CheckRound(Round& round, const std::vector<SERVICE_STATUS>& reports,
                                      const std::vector<std::uint64_t>& presses, Totals& totals)
{
    for (const std::string& problem : round.problems) {
        ADD_FAILURE() << problem;
    }
    // START_PENDING, RUNNING, STOP_PENDING twice, STOPPED with NO_ERROR;
    // the hotkey events, the stop event and the wait handles closed.
    ExpectStoppedAndReleased(reports);
    EXPECT_TRUE(LoggedOnUserSid.empty()) << "the stop forgets the user";

    const std::int64_t stopNs = round.serviceEndedAt - round.stopRequestedAt.load();
    EXPECT_LE(stopNs, Nanoseconds(kStopBound)) << "the stop took " << stopNs / 1000000 << " ms";
    totals.longestStopNs = std::max(totals.longestStopNs, stopNs);

    // Once it sees the stop, the service serves each hotkey signalled at
    // that moment once more and stops: after the stop is delivered, at most
    // the hotkey whose wait had returned and one round of the hotkeys start
    // something, however fast the presses come.
    const int startingHotkeys = static_cast<int>(
        std::count_if(hotkeys.begin(), hotkeys.end(), [](const StressHotkey& hotkey) { return hotkey.Starts(); }));
    EXPECT_LE(round.launchesAfterStop, 1 + startingHotkeys) << "commands started after the stop";
    totals.mostLaunchesAfterStop = std::max(totals.mostLaunchesAfterStop, round.launchesAfterStop);
    EXPECT_EQ(round.overlaps.load(), 0) << "a command was started while the lock policy was being written";
    // Each launch is of a hotkey that starts something, and no hotkey starts
    // more commands than it was pressed.
    std::map<std::wstring, int> launches = round.launches;
    for (size_t k = 0; k < hotkeys.size(); ++k) {
        const std::uint64_t started = static_cast<std::uint64_t>(launches[hotkeys[k].CommandLine()]);
        launches.erase(hotkeys[k].CommandLine());
        if (hotkeys[k].Starts()) {
            EXPECT_LE(started, presses[k]) << "hotkey " << k;
        } else {
            EXPECT_EQ(started, 0u) << "hotkey " << k << " is blocked or has no command";
        }
        totals.presses += presses[k];
        totals.launches += started;
    }
    EXPECT_TRUE(launches.empty()) << "a command line of no hotkey was started";
    totals.changes += static_cast<std::uint64_t>(round.changes);

    // The policy value and the marker end as the last of the session changes
    // and the start's check for the console user (who is there throughout)
    // left them; the stop changes neither. When the last change began after
    // that check, it decides; when every change had ended before RUNNING,
    // the check decides (the user is logged on); when the two ran together,
    // whichever took ServiceLock last decides, and the marker and the value
    // agree either way.
    const long long value = PolicyValue();
    const bool marker = MarkerExists();
    EXPECT_EQ(static_cast<bool>(LogonMarkerEvent), marker) << "the marker handle and the named event disagree";
    const std::uint64_t loopEnteredAt = round.loopEnteredAt;
    if (round.changes > 0 && loopEnteredAt != 0 && round.lastChangeBegin > loopEnteredAt) {
        ++totals.lastChangeDecides;
        const bool on = LoggedOn(round.lastChange);
        EXPECT_EQ(value, on ? 1 : 0) << "after the session change " << round.lastChange;
        EXPECT_EQ(marker, on) << "after the session change " << round.lastChange;
    } else if (round.changes == 0 || round.lastChangeEnd < round.runningAt.load()) {
        ++totals.startDecides;
        EXPECT_EQ(value, 1) << "with the user found at the start";
        EXPECT_TRUE(marker) << "with the user found at the start";
    } else {
        ++totals.eitherDecides;
        EXPECT_TRUE(value == 0 || value == 1) << "DisableLockWorkstation is " << value;
        EXPECT_EQ(marker, value == 1) << "the marker of one update with the value of the other";
    }
}

TEST_F(ServiceThreadsStress, PressesSessionChangesAndAStopAtRandomMomentsEndAsTheLastChangeSays)
{
    const std::uint32_t baseSeed = BaseSeed();
    const unsigned rounds = RoundCount();
    std::printf("base seed %" PRIu32 ", %u rounds (TW_STRESS_SEED, TW_STRESS_ROUNDS)\n", baseSeed, rounds);
    std::fflush(stdout);

    const DWORD self = GetCurrentProcessId();
    ASSERT_NE(CountProcessHandles(self), 0u) << "the handles of this process cannot be counted";
    // The process's first named object makes the system open the session's
    // directory of named objects, which it keeps: opened here, before the
    // first round is counted.
    EXPECT_FALSE(MarkerExists());

    Totals totals;
    const Clock::time_point start = Clock::now();
    unsigned done = 0;
    for (unsigned index = 0; index < rounds; ++index) {
        const std::uint32_t seed = baseSeed + index;
        SCOPED_TRACE("round " + std::to_string(index) + ", seed " + std::to_string(seed) +
                     " (replay: TW_STRESS_SEED=" + std::to_string(seed) + " TW_STRESS_ROUNDS=1)");
        const DWORD handlesBefore = CountProcessHandles(self);
        RunRound(index, seed, totals);
        // The stop leaves the marker to the process's exit; the reset between
        // rounds closes it, as a new process starts without it.
        ResetServiceState();
        EXPECT_FALSE(MarkerExists());
        // Only for a round that passed so far: reporting a failure makes the
        // test framework open a handle of its own.
        if (!HasFailure()) {
            EXPECT_EQ(CountProcessHandles(self), handlesBefore) << "handles left by the round";
        }
        ++done;
        if (HasFailure()) {
            std::printf("round %u, seed %" PRIu32 " failed (replay: TW_STRESS_SEED=%" PRIu32 " TW_STRESS_ROUNDS=1)\n",
                        index, seed, seed);
            break;
        }
    }
    std::printf("%" PRIu64 " presses, %" PRIu64 " commands started, %" PRIu64
                " session changes; the end decided by the last change in %u rounds, by the start's check for "
                "a user in %u, by either in %u; longest stop %.1f ms, "
                "most commands started after a stop %d; %.1f s\n",
                totals.presses, totals.launches, totals.changes, totals.lastChangeDecides, totals.startDecides,
                totals.eitherDecides, static_cast<double>(totals.longestStopNs) / 1e6, totals.mostLaunchesAfterStop,
                std::chrono::duration<double>(Clock::now() - start).count());
    std::printf("%u rounds, seed %" PRIu32 "\n", done, baseSeed);
    // A run whose rounds show nothing would pass too: over many rounds,
    // presses must have been served and rounds judged by their last change.
    if (done == rounds && rounds >= 100) {
        EXPECT_GT(totals.launches, 0u);
        EXPECT_GT(totals.lastChangeDecides, rounds / 2);
    }
}

}  // namespace
