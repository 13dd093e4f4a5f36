// ServiceMain under strain: a stop requested during a burst of presses or at
// any moment after RUNNING, and thousands of presses without a leak. The
// registry is real (inside a RegistrySandbox); the service manager's calls
// are recorded instead.
#include "service/hotkey_table.h"
#include "service/service_main.h"
#include "service/service_state.h"
#include "tests/service/service_fakes.h"
#include "tests/support/allocation_failure.h"
#include "tests/support/process_figures.h"
#include "tests/support/object_owner_report.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

class ServiceRobustness : public ::testing::Test {
protected:
    // Configures one hotkey per name, whose "run" is "run-" and the name.
    static void ConfigureHotkeys(const std::vector<std::wstring>& names)
    {
        for (const std::wstring& name : names) {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", L"run-" + name);
        }
    }

    // The table index of the hotkey that a recorded command line belongs to.
    static DWORD IndexOfCommandLine(const std::wstring& commandLine)
    {
        for (DWORD i = 0; i < HotkeyCount; ++i) {
            if (commandLine == L"run-" + std::wstring(HotkeyTable[i].name) + L" " + HotkeyTable[i].name) {
                return i;
            }
        }
        ADD_FAILURE() << "no hotkey starts this command line";
        return HotkeyCount;
    }

    static void RequestStop() { ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr); }

    RegistrySandbox sandbox;
    FreshServiceRun run;
    StatusRecorder& recorder = run.recorder;
    LaunchRecorder& launches = run.launches;
};

// A hotkey that the driver signals again faster than the service serves it
// keeps winning the wait, which returns the lowest signalled index. The stop
// must still end the service, after at most one more round of the hotkeys.
TEST_F(ServiceRobustness, AStopDuringABurstOfPressesEndsTheServiceAfterAtMostOneRound)
{
    // Far more presses than a mended service serves after the stop; an
    // unmended one would serve them for ever.
    constexpr int kBurstLimit = 1000;
    struct Case {
        const char* what;
        std::vector<std::wstring> burst;  // of the hotkeys a, b and c
    } const cases[] = {
        {"one hotkey", {L"b"}},
        {"two hotkeys", {L"a", L"c"}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox caseSandbox;
        FreshServiceRun caseRun;

        std::vector<std::wstring> names;
        for (const wchar_t* base : {L"a", L"b", L"c"}) {
            names.push_back(UniqueHotkey(base));
        }
        ConfigureHotkeys(names);
        // The driver's side of the bursting hotkeys' events, by command line.
        // The driver may create them before the service does; they are then
        // SYSTEM's.
        ReportEveryObjectOwnedBy(L"S-1-5-18");
        std::map<std::wstring, HANDLE> driverEvents;
        for (const std::wstring& base : c.burst) {
            const std::wstring name = UniqueHotkey(base);
            HANDLE event = CreateEventW(nullptr, FALSE, FALSE, (L"ZQKBFiltr" + name).c_str());
            ASSERT_NE(event, nullptr);
            driverEvents[L"run-" + name + L" " + name] = event;
        }

        int launchCount = 0;
        size_t launchesBeforeStop = 0;
        bool stopRequested = false;
        auto recordLaunch = win32.CreateProcessAsUserW;
        win32.CreateProcessAsUserW = [&, recordLaunch](HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                                       LPSECURITY_ATTRIBUTES processAttributes,
                                                       LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit,
                                                       DWORD flags, LPVOID environment, LPCWSTR directory,
                                                       LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process) {
            const std::wstring line = commandLine;
            const BOOL result = recordLaunch(token, application, commandLine, processAttributes, threadAttributes,
                                             inherit, flags, environment, directory, startup, process);
            ++launchCount;
            if (!stopRequested) {
                stopRequested = true;
                launchesBeforeStop = caseRun.launches.creates.size();
                RequestStop();
            }
            // Pressed again before the service is back in its wait.
            if (launchCount < kBurstLimit) {
                SetEvent(driverEvents.at(line));
            } else if (launchCount == kBurstLimit) {
                ADD_FAILURE() << "the stop is not served during a burst of presses";
            }
            return result;
        };
        auto realWait = win32.WaitForMultipleObjects;
        bool first = true;
        win32.WaitForMultipleObjects = [&, realWait](DWORD count, const HANDLE* handles, BOOL all, DWORD timeout) {
            if (first) {
                first = false;
                for (const auto& entry : driverEvents) {
                    SetEvent(entry.second);
                }
            }
            return realWait(count, handles, all, timeout);
        };

        ServiceMain(0, nullptr);

        ASSERT_TRUE(stopRequested);
        ASSERT_EQ(HotkeyCount, 3u);
        const std::vector<std::wstring> lines = caseRun.launches.CommandLines();
        // After the stop, each hotkey at most once, in table order.
        std::vector<DWORD> afterStop;
        for (size_t i = launchesBeforeStop; i < lines.size(); ++i) {
            afterStop.push_back(IndexOfCommandLine(lines[i]));
        }
        EXPECT_LE(afterStop.size(), HotkeyCount);
        EXPECT_TRUE(std::adjacent_find(afterStop.begin(), afterStop.end(), std::greater_equal<DWORD>()) ==
                    afterStop.end())
            << "the launches after the stop are not in rising table order";
        // Every bursting hotkey signalled with the stop is served once more.
        EXPECT_EQ(afterStop.size(), c.burst.size());
        ExpectStoppedAndReleased(caseRun.recorder.Reports());
        for (const auto& entry : driverEvents) {
            CloseHandle(entry.second);
        }
    }
}

// The stop control is accepted from RUNNING on. Whatever the service is doing
// when it arrives, it ends with the same reports and releases everything.
TEST_F(ServiceRobustness, AStopAtAnyMomentAfterRunningEndsTheService)
{
    const std::wstring name = UniqueHotkey(L"k");
    ConfigureHotkeys({name});

    // Each arrangement substitutes one call so that it requests the stop
    // (and notes that it did).
    struct Case {
        const char* what;
        bool press;  // the hotkey is pressed before the first wait
        std::function<void(bool& stopRequested)> arrange;
    } const cases[] = {
        {"inside the RUNNING report", false,
         [](bool& stopRequested) {
             auto report = win32.SetServiceStatus;
             win32.SetServiceStatus = [report, &stopRequested](SERVICE_STATUS_HANDLE handle,
                                                               LPSERVICE_STATUS status) {
                 const BOOL result = report(handle, status);
                 if (status->dwCurrentState == SERVICE_RUNNING) {
                     stopRequested = true;
                     RequestStop();
                 }
                 return result;
             };
         }},
        {"inside the check for a user at the console", false,
         [](bool& stopRequested) {
             auto session = win32.WTSGetActiveConsoleSessionId;
             win32.WTSGetActiveConsoleSessionId = [session, &stopRequested]() {
                 EXPECT_TRUE(StopEvent) << "the check follows RUNNING";
                 if (!stopRequested) {
                     stopRequested = true;
                     RequestStop();
                 }
                 return session();
             };
         }},
        {"inside a launch", true,
         [](bool& stopRequested) {
             auto create = win32.CreateProcessAsUserW;
             win32.CreateProcessAsUserW = [create, &stopRequested](
                                              HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                              LPSECURITY_ATTRIBUTES processAttributes,
                                              LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                                              LPVOID environment, LPCWSTR directory, LPSTARTUPINFOW startup,
                                              LPPROCESS_INFORMATION process) {
                 stopRequested = true;
                 RequestStop();
                 return create(token, application, commandLine, processAttributes, threadAttributes, inherit,
                               flags, environment, directory, startup, process);
             };
         }},
        {"after the loop has waited once, before it waits again", true,
         [](bool& stopRequested) {
             auto wait = win32.WaitForMultipleObjects;
             auto waits = std::make_shared<int>(0);
             win32.WaitForMultipleObjects = [wait, waits, &stopRequested](DWORD count, const HANDLE* handles,
                                                                          BOOL all, DWORD timeout) {
                 if (timeout == INFINITE && ++*waits == 2) {
                     stopRequested = true;
                     RequestStop();
                 }
                 return wait(count, handles, all, timeout);
             };
         }},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreshServiceRun caseRun;
        bool stopRequested = false;
        c.arrange(stopRequested);
        if (c.press) {
            // Pressed before the first wait, through the driver's side of the event.
            auto wait = win32.WaitForMultipleObjects;
            auto pressed = std::make_shared<bool>(false);
            win32.WaitForMultipleObjects = [wait, pressed, name](DWORD count, const HANDLE* handles, BOOL all,
                                                                 DWORD timeout) {
                if (!*pressed) {
                    *pressed = true;
                    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"ZQKBFiltr" + name).c_str());
                    EXPECT_NE(event, nullptr);
                    SetEvent(event);
                    CloseHandle(event);
                }
                return wait(count, handles, all, timeout);
            };
        }

        ServiceThread service;
        service.WaitForEnd();

        EXPECT_TRUE(stopRequested);
        ExpectStoppedAndReleased(caseRun.recorder.Reports());
        EXPECT_EQ(caseRun.launches.creates.size(), c.press ? 1u : 0u);
    }
}

// Every press opens and closes tokens and child handles and builds a command
// line. Ten thousand of them leave the process with as many handles as
// before and no more memory than noise: a press that leaks one handle, or a
// hundred bytes, shows. The token calls and the paths are real; only the
// process creation is substituted, handing back real handles (duplicates of
// this process and thread) for the launcher to close.
TEST_F(ServiceRobustness, TenThousandPressesLeaveHandlesAndMemoryFlat)
{
    constexpr int kWarmUpPresses = 200;
    constexpr int kPresses = 10000;
    // A leak of 100 bytes per press adds 1,000,000 bytes and more (the heap
    // keeps a header with every block: 1.1 MB measured under Wine); a run
    // without a leak grows by nothing, or by a few pages of heap noise.
    constexpr size_t kMemoryGrowthBound = 512 * 1024;

    // The token steps, the console session and the directory change are real
    // too, besides the registry, events and paths of every service run (the
    // status reports stay recorded); then the substitutes below.
    run.api.UseReal(&Win32Api::OpenProcessToken, &Win32Api::DuplicateTokenEx, &Win32Api::WTSGetActiveConsoleSessionId,
                    &Win32Api::SetTokenInformation, &Win32Api::SetCurrentDirectoryW);
    // No console user is found, so that no machine-wide marker is created;
    // the launcher itself does not ask for the user.
    win32.WTSQuerySessionInformationW = [](HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*) { return FALSE; };
    HANDLE launched = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
    ASSERT_NE(launched, nullptr);
    int launchCount = 0;  // written by the service's thread between two presses
    win32.CreateProcessAsUserW = [launched, &launchCount](HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES,
                                                          LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                                          LPSTARTUPINFOW, LPPROCESS_INFORMATION process) {
        HANDLE self = GetCurrentProcess();
        BOOL ok = DuplicateHandle(self, self, self, &process->hProcess, 0, FALSE, DUPLICATE_SAME_ACCESS);
        ok = ok && DuplicateHandle(self, GetCurrentThread(), self, &process->hThread, 0, FALSE,
                                   DUPLICATE_SAME_ACCESS);
        EXPECT_TRUE(ok);
        ++launchCount;
        ReleaseSemaphore(launched, 1, nullptr);
        return ok;
    };
    const std::wstring name = UniqueHotkey(L"soak");
    ConfigureHotkeys({name});

    ServiceThread service;
    service.WaitUntilWaiting();
    HANDLE press = OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"ZQKBFiltr" + name).c_str());
    ASSERT_NE(press, nullptr);
    auto pressTimes = [&](int times) {
        for (int i = 0; i < times; ++i) {
            service.Press(press);
            if (WaitForSingleObject(launched, 0) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "press " << i << " started nothing";
                return;
            }
        }
    };

    pressTimes(kWarmUpPresses);
    const DWORD self = GetCurrentProcessId();
    const DWORD handlesBefore = CountProcessHandles(self);
    const ProcessMemory memoryBefore = QueryProcessMemory(GetCurrentProcess());
    pressTimes(kPresses);
    const DWORD handlesAfter = CountProcessHandles(self);
    const ProcessMemory memoryAfter = QueryProcessMemory(GetCurrentProcess());
    service.Stop();

    std::printf("after %d warm-up presses: %lu handles, private %zu bytes, working set %zu bytes\n"
                "after %d more presses:    %lu handles, private %zu bytes, working set %zu bytes\n",
                kWarmUpPresses, static_cast<unsigned long>(handlesBefore), memoryBefore.privateBytes,
                memoryBefore.workingSet, kPresses, static_cast<unsigned long>(handlesAfter),
                memoryAfter.privateBytes, memoryAfter.workingSet);
    EXPECT_EQ(launchCount, kWarmUpPresses + kPresses);
    ASSERT_NE(handlesBefore, 0u) << "the handles of this process cannot be counted";
    EXPECT_EQ(handlesAfter, handlesBefore);
    ASSERT_NE(memoryBefore.privateBytes, 0u) << "the memory of this process cannot be read";
    EXPECT_LT(memoryAfter.privateBytes, memoryBefore.privateBytes + kMemoryGrowthBound);
    EXPECT_EQ(recorder.Reports().back().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    CloseHandle(press);
    CloseHandle(launched);
}

}  // namespace

// Memory that runs out at any allocation of the start (the names, the paths,
// the "run" buffer, the table) ends the start like every other failure:
// START_PENDING, then STOPPED with ERROR_NOT_ENOUGH_MEMORY, and nothing
// escapes ServiceMain. Status reports are kept in a fixed array so that the
// test itself allocates nothing while the allocations are counted.
TEST_F(ServiceRobustness, MemoryRunningOutDuringTheStartStopsItWithNotEnoughMemory)
{
    ConfigureHotkeys({UniqueHotkey(L"Alloc+First"), UniqueHotkey(L"Alloc+Second+With+A+Long+Name")});
    struct Reports {
        SERVICE_STATUS items[8];
        size_t count = 0;
    };
    static Reports reports;
    win32.SetServiceStatus = [](SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
        if (reports.count < 8) {
            reports.items[reports.count++] = *status;
        }
        return TRUE;
    };
    // The first wait of a running service asks it to stop at once.
    win32.WaitForMultipleObjects = [](DWORD count, const HANDLE* handles, BOOL, DWORD timeout) -> DWORD {
        if (timeout == INFINITE) {
            SetEvent(handles[count - 1]);
        }
        return WaitForMultipleObjects(count, handles, FALSE, timeout);
    };

    size_t allocations = 0;
    {
        FailingAllocation counting(0);
        ServiceMain(0, nullptr);
        allocations = counting.Count();
    }
    ASSERT_EQ(reports.count, 4u) << "a normal start and run, and a stop from within";
    ASSERT_GT(allocations, 0u);

    for (size_t k = 1; k <= allocations; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(allocations));
        ResetServiceState();
        reports.count = 0;
        bool escaped = false;
        {
            FailingAllocation failing(k);
            try {
                ServiceMain(0, nullptr);
            } catch (...) {
                escaped = true;
            }
            ASSERT_TRUE(failing.Failed());
        }
        EXPECT_FALSE(escaped);
        ASSERT_EQ(reports.count, 2u);
        EXPECT_EQ(reports.items[0].dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
        EXPECT_EQ(reports.items[1].dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
        EXPECT_EQ(reports.items[1].dwWin32ExitCode, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    }
}
