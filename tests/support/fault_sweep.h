// Test support: the fault sweep. A scenario is run once to count the Windows
// calls (through the `win32` table) and the allocations that its code under
// test makes, and then once for each of them, failing only that one: the
// k-th call fails as its function does (Win32FaultInjector), or the k-th
// allocation throws std::bad_alloc (FailingAllocation). After every run the
// scenario checks what must hold whatever fails, and notes what did not.
//
// The sweep prints "<scenario>: N failure points, M held" and fails the
// running test once for every point that did not hold, naming the call (or
// the allocation), its position and what went wrong. A crash or an exception
// that ends the test program names the point it happened at.
#pragma once

#include "common/win32_api.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class Win32FaultInjector;

// What failed in one run.
struct InjectedFailure {
    const char* call = nullptr;  // the function whose call failed
    DWORD error = 0;             // the error that call reported (0: none)
    bool allocation = false;     // an allocation failed
    bool Any() const { return call != nullptr || allocation; }
};

// One run of a scenario, as the sweep hands it to the scenario.
class SweepRun {
public:
    // Runs the code under test with its calls and allocations counted and
    // the run's one failure injected, and catches whatever escapes it (noted
    // as a problem). `above`, when given, puts substitutes on top of the
    // injector, so that they also see the calls that fail; they are removed
    // again when `code` has returned. Call it once per run.
    void Counted(const std::function<void()>& code, const std::function<void(KWin32Substitutes&)>& above = {});

    const InjectedFailure& Failure() const { return failure_; }
    // Bytes that the code under test allocated and had not freed when it
    // returned.
    std::size_t BytesHeld() const { return bytesHeld_; }
    bool Escaped() const { return escaped_; }

    // Something that must hold did not.
    void Problem(const std::string& what) { problems_.push_back(what); }

private:
    friend class FaultSweep;
    static void NoteAllocationFailure(void* run);

    std::size_t failCall_ = 0;
    std::size_t failAllocation_ = 0;
    bool recordNames_ = false;
    bool countedRun_ = false;
    std::vector<const char*> names_;
    std::size_t calls_ = 0;
    std::size_t allocations_ = 0;
    std::size_t callsAtAllocationFailure_ = 0;
    const Win32FaultInjector* injector_ = nullptr;
    InjectedFailure failure_;
    std::size_t bytesHeld_ = 0;
    bool escaped_ = false;
    std::vector<std::string> problems_;
};

// One case of a scenario: arranges a fresh run, calls run.Counted with the
// code under test, and checks.
struct SweepCase {
    std::string name;
    std::function<void(SweepRun& run)> run;
};

struct SweepFigures {
    std::size_t points = 0;
    std::size_t held = 0;
};

// Sweeps every case of `scenario`; see the top of this file.
SweepFigures RunFaultSweep(const std::string& scenario, const std::vector<SweepCase>& cases);
