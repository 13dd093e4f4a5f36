// Test support: makes one chosen Windows call fail. While a Win32FaultInjector
// lives, every call through the `win32` table of a function that can fail
// (common/win32_functions.h; those marked kCannotFail pass uncounted) made on
// the thread that created it is counted, and the `failAt`-th of them fails as
// its function does: it returns the function's failure result and leaves its
// last error, without calling the member it wraps. A function that releases
// what it is given (TW_WIN32_RELEASING_FUNCTIONS) releases first and then
// reports the failure.
//
// The injector wraps the members as it finds them, so it goes on top of the
// test's substitutes, and puts them back when it is destroyed. A member that
// a test substituted runs inside an AllocationPause, so that what the test's
// code allocates is not counted against the code under test (also for the
// functions that cannot fail, which pass through uncounted); a real function
// runs as it is, so that what it calls back (an enumeration's callback) is
// counted.
#pragma once

#include "common/win32_api.h"

#include <cstddef>
#include <vector>

class Win32FaultInjector {
public:
    // `failAt` 0 fails nothing and only counts.
    explicit Win32FaultInjector(std::size_t failAt);
    ~Win32FaultInjector();
    Win32FaultInjector(const Win32FaultInjector&) = delete;
    Win32FaultInjector& operator=(const Win32FaultInjector&) = delete;

    // Calls counted so far, the failed one included.
    std::size_t Count() const { return count_; }
    bool Failed() const { return failAt_ != 0 && count_ >= failAt_; }
    // The name of the function whose call failed, or null.
    const char* FailedCall() const { return failedCall_; }
    // The error that the failed call reported: a registry function's result,
    // any other function's last error (0 when it leaves none).
    DWORD FailedError() const { return failedError_; }
    // From a call of RecordNames() on: the name of every counted call, in
    // order.
    void RecordNames() { recordNames_ = true; }
    const std::vector<const char*>& Names() const { return names_; }

    // For the wrappers: counts a call of `name`; true when it is to fail.
    bool CountCall(const char* name, DWORD error);

private:
    std::size_t failAt_;
    std::size_t count_ = 0;
    DWORD thread_;
    const char* failedCall_ = nullptr;
    DWORD failedError_ = 0;
    bool recordNames_ = false;
    std::vector<const char*> names_;
    Win32Api saved_;
};
