// Substitutes for the service tests: status reports and command launches are
// recorded instead of reaching the service manager or creating processes.
// Each puts its calls into the `win32` table when it is constructed and puts
// back what it found there when it is destroyed.
#pragma once

#include "common/win32_api.h"
#include "tests/support/strict_win32.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A hotkey name that no other test process uses at the same time (event
// names are machine-wide): `base` followed by "." and the process id.
std::wstring UniqueHotkey(const std::wstring& base);

// Puts the service's process-wide state back to that of a fresh process
// (ResetServiceState) when constructed and again when destroyed, closing
// whatever a test left in it.
class ServiceGlobalsReset {
public:
    ServiceGlobalsReset();
    ~ServiceGlobalsReset();
    ServiceGlobalsReset(const ServiceGlobalsReset&) = delete;
    ServiceGlobalsReset& operator=(const ServiceGlobalsReset&) = delete;
};

// Handle values that the launch substitutes hand out; they are never real.
const HANDLE kFakeProcessToken = reinterpret_cast<HANDLE>(0x7001);
const HANDLE kFakePrimaryToken = reinterpret_cast<HANDLE>(0x7002);
const HANDLE kFakeChildProcess = reinterpret_cast<HANDLE>(0x7003);
const HANDLE kFakeChildThread = reinterpret_cast<HANDLE>(0x7004);

// Records every status report; RegisterServiceCtrlHandlerExW succeeds.
class StatusRecorder {
public:
    StatusRecorder();
    StatusRecorder(const StatusRecorder&) = delete;
    StatusRecorder& operator=(const StatusRecorder&) = delete;

    void WaitForState(DWORD state);
    std::vector<SERVICE_STATUS> Reports();

private:
    KWin32Substitutes substitutes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SERVICE_STATUS> reports_;
};

struct ExpectedReport {
    DWORD state;
    DWORD accepted;
    DWORD checkPoint;
    DWORD exitCode;
};

// Every report carries type 0x110, no service-specific code and no wait hint.
void ExpectReports(const std::vector<SERVICE_STATUS>& actual, const std::vector<ExpectedReport>& expected);

struct TokenOpenCall {
    HANDLE process;
    DWORD access;
};
struct TokenDuplicateCall {
    HANDLE source;
    DWORD access;
    bool noAttributes;
    SECURITY_IMPERSONATION_LEVEL level;
    TOKEN_TYPE type;
};
struct TokenSetCall {
    HANDLE token;
    TOKEN_INFORMATION_CLASS infoClass;
    DWORD value;
    DWORD size;
};
struct CreateCall {
    HANDLE token;
    bool noApplicationName;
    const wchar_t* commandLinePointer;
    std::wstring commandLine;
    bool noSecurityAttributes;
    BOOL inheritHandles;
    DWORD flags;
    bool noEnvironment;
    bool noDirectory;
    STARTUPINFOW startup;
    // The desktop named in `startup`, read during the call; whether the
    // launcher's buffer for it was writable (the system may write into it).
    std::wstring desktop;
    bool desktopWritable;
    bool lockFreeForOthers;  // could another thread take ServiceLock during the call?
};

// Substitutes the token steps, CreateProcessAsUserW and closing of the fake
// handles, and the change of the current directory; records every call in
// order in `steps` ("open-token", "duplicate-token", "set-session",
// "directory <path>", "create", "close <name>"). Closing any other handle
// goes to the CloseHandle it found. The results below are read at each call.
class LaunchRecorder {
public:
    LaunchRecorder();
    LaunchRecorder(const LaunchRecorder&) = delete;
    LaunchRecorder& operator=(const LaunchRecorder&) = delete;

    std::vector<std::wstring> CommandLines() const;

    DWORD consoleSession = 1;
    BOOL openTokenResult = TRUE;
    BOOL duplicateResult = TRUE;
    BOOL createResult = TRUE;

    std::vector<std::string> steps;
    std::vector<TokenOpenCall> opens;
    std::vector<TokenDuplicateCall> duplicates;
    std::vector<TokenSetCall> sets;
    std::vector<CreateCall> creates;
    std::vector<std::wstring> directories;

private:
    KWin32Substitutes substitutes_;
};

// Runs ServiceMain on a thread of its own and keeps the test in step with it:
// it is told each time the service enters its wait for hotkeys and the stop
// (the wait without a time limit). Construct it once the other substitutes
// are installed; its own substitute wraps WaitForMultipleObjects. Every wait
// for the service is limited to a minute: a service that hangs ends the test
// program with a failure.
class ServiceThread {
public:
    ServiceThread();
    ~ServiceThread();
    ServiceThread(const ServiceThread&) = delete;
    ServiceThread& operator=(const ServiceThread&) = delete;

    // Returns once the service has entered its wait again since the last call
    // (the first call: since the start).
    void WaitUntilWaiting();
    // Sets `event`, as the driver does, and returns once the service has
    // served it and waits again.
    void Press(HANDLE event);
    // Requests the stop through the control handler and waits until
    // ServiceMain has returned.
    void Stop();
    // Waits until ServiceMain has returned (after a stop requested by a
    // substitute, or a failed start).
    void WaitForEnd();

private:
    KWin32Substitutes substitutes_;
    HANDLE waiting_ = nullptr;  // a semaphore, released at every entry into the wait
    HANDLE finished_ = nullptr;  // set when ServiceMain has returned
    std::thread thread_;
};

// A started service that ended after a stop: STOP_PENDING from the control
// handler, STOP_PENDING and STOPPED from ServiceMain, nothing left open.
void ExpectStoppedAndReleased(const std::vector<SERVICE_STATUS>& reports);

// What a service run in a test (a fixture, or one case of a table) needs
// afresh: the service's globals as in a new process, the Windows calls in
// strict mode (the table restored at its end), and status and launch
// recorders installed, with no console session (so the check for a user at
// the console after RUNNING writes no policy value and creates no marker).
// Real are only the calls of the service's own loop that these tests make
// for real on purpose: the registry (inside the test's RegistrySandbox), the
// events (with their security descriptor) and the waits, and the process's own pseudo handle and program path
// (where the launch takes its token from, and its working directory); a
// test names any further one with api.UseReal.
struct FreshServiceRun {
    FreshServiceRun();
    ServiceGlobalsReset globals;
    KStrictWin32Override api{&Win32Api::RegOpenKeyExW,      &Win32Api::RegQueryInfoKeyW,
                            &Win32Api::RegEnumKeyExW,      &Win32Api::RegQueryValueExW,
                            &Win32Api::RegCloseKey,        &Win32Api::CreateEventW,
                            &Win32Api::SetEvent,           &Win32Api::ResetEvent,
                            &Win32Api::CloseHandle,        &Win32Api::WaitForMultipleObjects,
                            &Win32Api::GetCurrentProcess,  &Win32Api::GetModuleFileNameW,
                            &Win32Api::GetLongPathNameW,   &Win32Api::PathRemoveFileSpecW,
                            &Win32Api::ConvertStringSecurityDescriptorToSecurityDescriptorW,
                            &Win32Api::LocalFree};
    StatusRecorder recorder;
    LaunchRecorder launches;
};
