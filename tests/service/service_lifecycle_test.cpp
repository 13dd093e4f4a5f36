#include "hotkey_table.h"
#include "registry_sandbox.h"
#include "service_main.h"
#include "service_state.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const SERVICE_STATUS_HANDLE kFakeStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);

// Records every status report made through SetServiceStatus.
class StatusRecorder {
public:
    void Install()
    {
        win32.RegisterServiceCtrlHandlerExW = [](LPCWSTR, LPHANDLER_FUNCTION_EX, LPVOID) { return kFakeStatusHandle; };
        win32.SetServiceStatus = [this](SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status) {
            std::lock_guard<std::mutex> hold(mutex_);
            EXPECT_EQ(handle, kFakeStatusHandle);
            reports_.push_back(*status);
            changed_.notify_all();
            return TRUE;
        };
    }
    void WaitForState(DWORD state)
    {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait(hold, [&] { return !reports_.empty() && reports_.back().dwCurrentState == state; });
    }
    std::vector<SERVICE_STATUS> Reports()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return reports_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SERVICE_STATUS> reports_;
};

struct Report {
    DWORD state;
    DWORD accepted;
    DWORD checkPoint;
    DWORD exitCode;
};

void ExpectReports(const std::vector<SERVICE_STATUS>& actual, const std::vector<Report>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("report " + std::to_string(i));
        EXPECT_EQ(actual[i].dwServiceType, 0x110u);
        EXPECT_EQ(actual[i].dwCurrentState, expected[i].state);
        EXPECT_EQ(actual[i].dwControlsAccepted, expected[i].accepted);
        EXPECT_EQ(actual[i].dwCheckPoint, expected[i].checkPoint);
        EXPECT_EQ(actual[i].dwWin32ExitCode, expected[i].exitCode);
        EXPECT_EQ(actual[i].dwServiceSpecificExitCode, 0u);
        EXPECT_EQ(actual[i].dwWaitHint, 0u);
    }
}

class ServiceLifecycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        CheckPointCounter = 1;
        recorder.Install();
    }

    RegistrySandbox sandbox;
    Win32Override api;
    StatusRecorder recorder;
};

TEST_F(ServiceLifecycle, StartAndStopReportTheFiveStatesWithCheckPointsOneTwoThree)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(L"LWin+L"), L"run", L"");

    std::thread serviceMain([] { ServiceMain(0, nullptr); });
    recorder.WaitForState(SERVICE_RUNNING);
    EXPECT_EQ(ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr), static_cast<DWORD>(NO_ERROR));
    serviceMain.join();

    ExpectReports(recorder.Reports(), {
                                          {SERVICE_START_PENDING, 0x80, 1, 0},
                                          {SERVICE_RUNNING, 0x81, 0, 0},
                                          {SERVICE_STOP_PENDING, 0x81, 2, 0},
                                          {SERVICE_STOP_PENDING, 0x81, 3, 0},
                                          {SERVICE_STOPPED, 0x81, 0, 0},
                                      });
    EXPECT_EQ(StopEvent, nullptr);
    EXPECT_EQ(WaitHandles, nullptr);
    EXPECT_EQ(HotkeyTable[0].event, nullptr);
}

}  // namespace
