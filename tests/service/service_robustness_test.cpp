// ServiceMain under strain: a stop requested during a burst of presses or at
// any moment after RUNNING, and thousands of presses without a leak. The
// registry is real (inside a RegistrySandbox); the service manager's calls
// are recorded instead.
#include "hotkey_table.h"
#include "registry_sandbox.h"
#include "service_fakes.h"
#include "service_main.h"
#include "service_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

class ServiceRobustness : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorder.Install();
        launches.Install();
        // No console user: the check for a user at the console after RUNNING
        // then writes no policy value and creates no machine-wide marker.
        launches.consoleSession = 0xFFFFFFFF;
    }

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

    // The service has ended as after a stop: STOP_PENDING from the control
    // handler, STOP_PENDING and STOPPED from ServiceMain, nothing left open.
    void ExpectStoppedAndReleased()
    {
        const std::vector<SERVICE_STATUS> reports = recorder.Reports();
        ASSERT_GE(reports.size(), 3u);
        const std::vector<SERVICE_STATUS> last(reports.end() - 3, reports.end());
        ExpectReports(last, {
                                {SERVICE_STOP_PENDING, 0x81, 2, 0},
                                {SERVICE_STOP_PENDING, 0x81, 3, 0},
                                {SERVICE_STOPPED, 0x81, 0, 0},
                            });
        EXPECT_EQ(StopEvent, nullptr);
        EXPECT_EQ(WaitHandles, nullptr);
        for (DWORD i = 0; i < HotkeyCount; ++i) {
            EXPECT_EQ(HotkeyTable[i].event, nullptr) << i;
        }
    }

    ServiceGlobalsReset globals;
    RegistrySandbox sandbox;
    Win32Override api;
    StatusRecorder recorder;
    LaunchRecorder launches;
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
        ServiceGlobalsReset fresh;
        RegistrySandbox caseSandbox;
        StatusRecorder caseRecorder;
        LaunchRecorder caseLaunches;
        caseLaunches.consoleSession = 0xFFFFFFFF;
        Win32Override caseApi;
        caseRecorder.Install();
        caseLaunches.Install();

        std::vector<std::wstring> names;
        for (const wchar_t* base : {L"a", L"b", L"c"}) {
            names.push_back(UniqueHotkey(base));
        }
        ConfigureHotkeys(names);
        // The driver's side of the bursting hotkeys' events, by command line.
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
                launchesBeforeStop = caseLaunches.creates.size();
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
        const std::vector<std::wstring> lines = caseLaunches.CommandLines();
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
        EXPECT_EQ(caseRecorder.Reports().back().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
        for (const auto& entry : driverEvents) {
            CloseHandle(entry.second);
        }
    }
}

}  // namespace
