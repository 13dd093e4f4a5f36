// A small service control manager in memory, with a virtual clock and a
// process heap of its own (unless it is made with the service manager alone),
// put into the `win32` seam for the lifetime of the object (what it replaced there is put back when it is destroyed). It keeps
// a log of the calls made to it and checks on the way that every service
// handle is closed before the manager handle it was opened through, and,
// when it is destroyed, that no handle and no heap block is left behind.
// A service that is started answers the status queries that follow with its
// `startReplies`; its registration (QueryServiceConfigW) is what it was
// created with, or what the test gives it.
#pragma once

#include "common/win32_api.h"
#include "tests/support/narrow_text.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

struct FakeStatus {
    DWORD state;     // 0: the status query fails
    DWORD waitHint;
    DWORD exitCode = NO_ERROR;  // dwWin32ExitCode
};

struct FakeService {
    // Answers to successive status queries; the last one repeats.
    std::vector<FakeStatus> replies = {{SERVICE_RUNNING, 0}};
    size_t nextReply = 0;
    bool openable = true;
    bool acceptsStop = true;
    FakeStatus stopReply = {SERVICE_STOP_PENDING, 0};  // what the stop request reports
    bool deleteFails = false;
    std::vector<std::wstring> dependents;  // active dependants, in enumeration order
    DWORD startError = 0;  // nonzero: StartServiceW fails with this error
    // Answers to the status queries after a start; the last one repeats.
    std::vector<FakeStatus> startReplies = {{SERVICE_RUNNING, 0}};
    // The registration, as QueryServiceConfigW reports it.
    DWORD type = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
    DWORD startType = SERVICE_AUTO_START;
    std::wstring imagePath;
    bool configFails = false;  // QueryServiceConfigW fails with ERROR_ACCESS_DENIED
    // A control other than the stop (a user-defined one): 0 takes it,
    // anything else is the error that ControlService fails with.
    DWORD controlError = 0;
};

// What the fake puts into the seam: the service manager with the clock, the
// process heap and the conversion of security descriptors (as the
// command-line mode and the package use them), or the service manager alone
// for a test that keeps a clock of its own.
enum class FakeServiceManagerParts { All, ServicesOnly };

struct FakeCreateCall {
    std::wstring name;
    std::wstring displayName;
    DWORD access;
    DWORD type;
    DWORD start;
    DWORD errorControl;
    std::wstring binaryPath;
    bool groupNull, tagNull, dependenciesNull, accountNull, passwordNull;
};

class FakeServiceManager {
public:
    explicit FakeServiceManager(FakeServiceManagerParts parts = FakeServiceManagerParts::All);
    ~FakeServiceManager();
    FakeServiceManager(const FakeServiceManager&) = delete;
    FakeServiceManager& operator=(const FakeServiceManager&) = delete;

    // Configuration.
    std::map<std::wstring, FakeService> services;
    bool managerOpens = true;
    std::set<DWORD> managerAccess = {SC_MANAGER_ALL_ACCESS};  // what OpenSCManagerW may be asked for
    DWORD now = 0;                      // the tick count
    DWORD queryCostMs = 0;              // virtual time that each status query takes
    DWORD firstEnumError = 0;           // nonzero: the sizing enumeration fails with this error
    bool secondEnumFails = false;
    bool heapFails = false;
    bool securityFails = false;         // SetServiceObjectSecurity fails

    // What happened.
    std::vector<std::string> calls;     // "open manager", "query X", "start X", "stop X", "control N X", "sleep N", ...
    // Told of each entry of `calls` as it is made, for a test that keeps one
    // log of everything.
    std::function<void(const std::string&)> onCall;
    std::vector<DWORD> sleeps;
    std::map<std::wstring, DWORD> openAccess;  // last access each service was opened with
    std::vector<FakeCreateCall> creates;
    std::vector<SIZE_T> allocations;
    std::vector<DWORD> allocationFlags;
    DWORD reportedBytes = 0;            // what the sizing enumeration reported
    // The access list given to each service with SetServiceObjectSecurity, as
    // text (SDDL); "secure X" in `calls`.
    std::map<std::wstring, std::wstring> accessLists;

    size_t Count(const std::string& call) const;
    // Position of the first entry equal to `call` in `calls`, or npos.
    size_t IndexOf(const std::string& call) const;
    // Service and manager handles open now.
    size_t OpenHandles() const { return open_.size(); }

private:
    struct OpenHandle {
        bool isManager;
        std::wstring name;
        SC_HANDLE manager;
    };

    void Note(const std::string& call);
    void SubstituteServiceCalls();
    void SubstituteClockHeapAndDescriptors();
    SC_HANDLE NewHandle(const OpenHandle& entry);
    const OpenHandle* Find(SC_HANDLE handle) const;
    FakeService* ServiceOf(SC_HANDLE handle);

    KWin32Substitutes substitutes_;
    std::map<SC_HANDLE, OpenHandle> open_;
    std::set<void*> blocks_;
    std::set<void*> descriptors_;  // converted from text, not yet given back with LocalFree
    std::uintptr_t nextHandle_ = 0x1000;
    static constexpr size_t kMaxQueries = 100000;
    size_t queries_ = 0;
};

// Answers EnumDependentServicesW as Windows does, for the active dependants
// `names`: TRUE with nothing when there are none; ERROR_MORE_DATA with the
// size needed when `size` is too small; otherwise the entries, followed by
// their names, in `buffer`.
BOOL AnswerDependentServices(const std::vector<std::wstring>& names, LPENUM_SERVICE_STATUSW buffer, DWORD size,
                             LPDWORD needed, LPDWORD count);
