#include "tests/service/service_fakes.h"

#include "service/hotkey_table.h"
#include "service/service_main.h"
#include "service/service_state.h"
#include "tests/support/narrow_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

const SERVICE_STATUS_HANDLE kFakeStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);

std::string HandleName(HANDLE handle)
{
    if (handle == kFakeProcessToken) {
        return "process-token";
    }
    if (handle == kFakePrimaryToken) {
        return "primary-token";
    }
    if (handle == kFakeChildProcess) {
        return "child-process";
    }
    if (handle == kFakeChildThread) {
        return "child-thread";
    }
    return "";
}

}  // namespace

std::wstring UniqueHotkey(const std::wstring& base)
{
    return base + L"." + std::to_wstring(GetCurrentProcessId());
}

ServiceGlobalsReset::ServiceGlobalsReset()
{
    ResetServiceState();
}

ServiceGlobalsReset::~ServiceGlobalsReset()
{
    ResetServiceState();
}

StatusRecorder::StatusRecorder()
{
    substitutes_.Replace(&Win32Api::RegisterServiceCtrlHandlerExW,
                         [](LPCWSTR name, LPHANDLER_FUNCTION_EX, LPVOID context) {
        EXPECT_STREQ(name, L"TarnwickSvc");
        EXPECT_EQ(context, nullptr);
        return kFakeStatusHandle;
    });
    substitutes_.Replace(&Win32Api::SetServiceStatus, [this](SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status) {
        std::lock_guard<std::mutex> hold(mutex_);
        EXPECT_EQ(handle, kFakeStatusHandle);
        reports_.push_back(*status);
        changed_.notify_all();
        return TRUE;
    });
}

void StatusRecorder::WaitForState(DWORD state)
{
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [&] { return !reports_.empty() && reports_.back().dwCurrentState == state; });
}

std::vector<SERVICE_STATUS> StatusRecorder::Reports()
{
    std::lock_guard<std::mutex> hold(mutex_);
    return reports_;
}

void ExpectReports(const std::vector<SERVICE_STATUS>& actual, const std::vector<ExpectedReport>& expected)
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

LaunchRecorder::LaunchRecorder()
{
    substitutes_.Replace(&Win32Api::WTSGetActiveConsoleSessionId, [this]() { return consoleSession; });
    substitutes_.Replace(&Win32Api::OpenProcessToken, [this](HANDLE process, DWORD access, PHANDLE token) {
        steps.push_back("open-token");
        opens.push_back({process, access});
        if (openTokenResult) {
            *token = kFakeProcessToken;
        }
        return openTokenResult;
    });
    substitutes_.Replace(&Win32Api::DuplicateTokenEx,
                         [this](HANDLE source, DWORD access, LPSECURITY_ATTRIBUTES attributes,
                                SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type, PHANDLE token) {
        steps.push_back("duplicate-token");
        duplicates.push_back({source, access, attributes == nullptr, level, type});
        if (duplicateResult) {
            *token = kFakePrimaryToken;
        }
        return duplicateResult;
    });
    substitutes_.Replace(&Win32Api::SetTokenInformation,
                         [this](HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID data, DWORD size) {
        steps.push_back("set-session");
        DWORD value = 0;
        if (size == sizeof(DWORD)) {
            value = *static_cast<DWORD*>(data);
        }
        sets.push_back({token, infoClass, value, size});
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::SetCurrentDirectoryW, [this](LPCWSTR path) {
        steps.push_back("directory " + Narrow(path));
        directories.push_back(path);
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::CreateProcessAsUserW,
                         [this](HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                                BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR directory,
                                LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process) {
        steps.push_back("create");
        CreateCall call{};
        call.token = token;
        call.noApplicationName = application == nullptr;
        call.commandLinePointer = commandLine;
        call.commandLine = commandLine;
        call.noSecurityAttributes = processAttributes == nullptr && threadAttributes == nullptr;
        call.inheritHandles = inherit;
        call.flags = flags;
        call.noEnvironment = environment == nullptr;
        call.noDirectory = directory == nullptr;
        call.startup = *startup;
        if (startup->lpDesktop != nullptr) {
            call.desktop = startup->lpDesktop;
            // Written and put back: a read-only text would fault here.
            const wchar_t first = startup->lpDesktop[0];
            startup->lpDesktop[0] = L'#';
            startup->lpDesktop[0] = first;
            call.desktopWritable = true;
        }
        std::thread other([&call] {
            call.lockFreeForOthers = ServiceLock.TryEnter();
            if (call.lockFreeForOthers) {
                ServiceLock.Leave();
            }
        });
        other.join();
        // The system may write into the command line: the buffer must be
        // writable and the caller's own.
        commandLine[0] = L'#';
        creates.push_back(call);
        if (createResult) {
            process->hProcess = kFakeChildProcess;
            process->hThread = kFakeChildThread;
            process->dwProcessId = 4242;
            process->dwThreadId = 4243;
        }
        return createResult;
    });
    const auto previousClose = win32.CloseHandle;
    substitutes_.Replace(&Win32Api::CloseHandle, [this, previousClose](HANDLE handle) {
        const std::string name = HandleName(handle);
        if (name.empty()) {
            return previousClose(handle);
        }
        steps.push_back("close " + name);
        return TRUE;
    });
}

std::vector<std::wstring> LaunchRecorder::CommandLines() const
{
    std::vector<std::wstring> lines;
    for (const CreateCall& call : creates) {
        lines.push_back(call.commandLine);
    }
    return lines;
}

namespace {

// Long enough for any step of the service under a loaded Wine; a step that
// takes longer has hung.
constexpr DWORD kServiceStepLimitMs = 60000;

// Reports a service that hangs and ends the test program: its thread cannot
// be taken back.
void EndTheProgramForAHang(const char* what)
{
    ADD_FAILURE() << "the service hangs: " << what;
    std::fflush(stdout);
    std::_Exit(3);
}

}  // namespace

ServiceThread::ServiceThread()
{
    waiting_ = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
    finished_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto previousWait = win32.WaitForMultipleObjects;
    HANDLE waiting = waiting_;
    substitutes_.Replace(&Win32Api::WaitForMultipleObjects,
                         [previousWait, waiting](DWORD count, const HANDLE* handles, BOOL all, DWORD timeout) {
        if (timeout == INFINITE) {
            ReleaseSemaphore(waiting, 1, nullptr);
        }
        return previousWait(count, handles, all, timeout);
    });
    HANDLE finished = finished_;
    thread_ = std::thread([finished] {
        ServiceMain(0, nullptr);
        SetEvent(finished);
    });
}

ServiceThread::~ServiceThread()
{
    if (thread_.joinable()) {
        Stop();
    }
    CloseHandle(waiting_);
    CloseHandle(finished_);
}

void ServiceThread::WaitUntilWaiting()
{
    HANDLE either[] = {waiting_, finished_};
    const DWORD result = WaitForMultipleObjects(2, either, FALSE, kServiceStepLimitMs);
    if (result == WAIT_OBJECT_0 + 1) {
        ADD_FAILURE() << "the service ended instead of waiting for hotkeys";
    } else if (result != WAIT_OBJECT_0) {
        EndTheProgramForAHang("it does not come back to its wait");
    }
}

void ServiceThread::Press(HANDLE event)
{
    ASSERT_TRUE(SetEvent(event));
    WaitUntilWaiting();
}

void ServiceThread::Stop()
{
    if (WaitForSingleObject(finished_, 0) != WAIT_OBJECT_0) {
        ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    }
    WaitForEnd();
}

void ServiceThread::WaitForEnd()
{
    if (WaitForSingleObject(finished_, kServiceStepLimitMs) != WAIT_OBJECT_0) {
        EndTheProgramForAHang("ServiceMain does not return");
    }
    thread_.join();
}

void ExpectStoppedAndReleased(const std::vector<SERVICE_STATUS>& reports)
{
    ExpectReports(reports, {
                               {SERVICE_START_PENDING, 0x80, 1, 0},
                               {SERVICE_RUNNING, 0x81, 0, 0},
                               {SERVICE_STOP_PENDING, 0x81, 2, 0},
                               {SERVICE_STOP_PENDING, 0x81, 3, 0},
                               {SERVICE_STOPPED, 0x81, 0, 0},
                           });
    EXPECT_FALSE(StopEvent);
    EXPECT_EQ(WaitHandles, nullptr);
    for (DWORD i = 0; HotkeyTable != nullptr && i < HotkeyCount; ++i) {
        EXPECT_FALSE(HotkeyTable[i].event) << i;
    }
}

FreshServiceRun::FreshServiceRun()
{
    launches.consoleSession = 0xFFFFFFFF;
}
