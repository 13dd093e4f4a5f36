#include "tests/support/fault_sweep.h"

#include "tests/support/allocation_failure.h"
#include "tests/support/win32_fault_injection.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>

namespace {

// The point being run, for a crash report: written before each run, so that
// nothing has to be allocated when the process goes down.
char currentPoint[512] = "";

void ReportCrashAndExit(const char* what)
{
    std::fprintf(stderr, "\nthe fault sweep ends the test program: %s at %s\n", what, currentPoint);
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(3);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception)
{
    char what[64];
    std::snprintf(what, sizeof(what), "exception 0x%08lX",
                  static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode));
    ReportCrashAndExit(what);
    return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void OnTerminate()
{
    ReportCrashAndExit("std::terminate");
    std::abort();
}

// Installs the crash reports for as long as it lives.
class CrashReport {
public:
    CrashReport()
        : filter_(SetUnhandledExceptionFilter(&OnUnhandledException)), terminate_(std::set_terminate(&OnTerminate))
    {
    }
    ~CrashReport()
    {
        SetUnhandledExceptionFilter(filter_);
        std::set_terminate(terminate_);
    }
    CrashReport(const CrashReport&) = delete;
    CrashReport& operator=(const CrashReport&) = delete;

private:
    LPTOP_LEVEL_EXCEPTION_FILTER filter_;
    std::terminate_handler terminate_;
};

struct Point {
    bool allocation;
    std::size_t index;  // 1-based
};

// A problem of several lines, its later lines indented under the first.
std::string Indented(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        out += c;
        if (c == '\n') {
            out += "      ";
        }
    }
    return out;
}

std::string Ordinal(std::size_t n)
{
    const char* suffix = "th";
    if (n % 100 < 11 || n % 100 > 13) {
        suffix = n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    }
    return std::to_string(n) + suffix;
}

}  // namespace

void SweepRun::NoteAllocationFailure(void* context)
{
    auto* run = static_cast<SweepRun*>(context);
    run->callsAtAllocationFailure_ = run->injector_->Count();
}

void SweepRun::Counted(const std::function<void()>& code, const std::function<void(KWin32Substitutes&)>& above)
{
    if (countedRun_) {
        Problem("the scenario ran its code under test twice in one run");
        return;
    }
    countedRun_ = true;
    char escaped[256] = "";
    {
        Win32FaultInjector injector(failCall_);
        injector_ = &injector;
        if (recordNames_) {
            injector.RecordNames();
        }
        KWin32Substitutes substitutesAbove;
        if (above) {
            above(substitutesAbove);
        }
        {
            FailingAllocation allocations(failAllocation_);
            allocations.OnFailure(&SweepRun::NoteAllocationFailure, this);
            try {
                code();
            } catch (const std::exception& exception) {
                escaped_ = true;
                std::snprintf(escaped, sizeof(escaped), "%s", exception.what());
            } catch (...) {
                escaped_ = true;
                std::snprintf(escaped, sizeof(escaped), "an exception of another type");
            }
            bytesHeld_ = allocations.BytesHeld();
            allocations_ = allocations.Count();
            failure_.allocation = allocations.Failed();
        }
        calls_ = injector.Count();
        failure_.call = injector.FailedCall();
        failure_.error = injector.FailedError();
        if (recordNames_) {
            names_ = injector.Names();
        }
        injector_ = nullptr;
    }
    if (escaped_) {
        Problem(std::string("an exception escaped: ") + escaped);
    }
}

class FaultSweep {
public:
    // Runs one case once, with the failure of `point` (none for null).
    static SweepRun Run(const SweepCase& sweepCase, const Point* point, bool recordNames)
    {
        SweepRun run;
        run.recordNames_ = recordNames;
        if (point != nullptr) {
            (point->allocation ? run.failAllocation_ : run.failCall_) = point->index;
        }
        ::testing::TestPartResultArray reported;
        {
            ::testing::ScopedFakeTestPartResultReporter intercept(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &reported);
            sweepCase.run(run);
        }
        for (int i = 0; i < reported.size(); ++i) {
            const ::testing::TestPartResult& result = reported.GetTestPartResult(i);
            if (result.failed()) {
                run.Problem(std::string(result.file_name() != nullptr ? result.file_name() : "?") + ":" +
                            std::to_string(result.line_number()) + ": " + result.message());
            }
        }
        if (!run.countedRun_) {
            run.Problem("the scenario did not run its code under test");
        }
        return run;
    }

    static SweepFigures Sweep(const std::string& scenario, const std::vector<SweepCase>& cases)
    {
        const auto started = std::chrono::steady_clock::now();
        const CrashReport crashReport;
        SweepFigures figures;
        std::string caseLines;

        for (const SweepCase& sweepCase : cases) {
            // Once to settle what the system sets up on first use (its
            // checks are not taken: a handle that Windows opens for good on
            // the first call of a function is no fault of the run), then
            // once to count, which must hold like every other run.
            std::snprintf(currentPoint, sizeof(currentPoint), "%s, %s, without a failure", scenario.c_str(),
                          sweepCase.name.c_str());
            FaultSweep::Run(sweepCase, nullptr, false);
            SweepRun counting = FaultSweep::Run(sweepCase, nullptr, true);
            for (const std::string& problem : counting.problems_) {
                ADD_FAILURE() << scenario << ", " << sweepCase.name << ", without a failure: " << problem;
            }
            const std::vector<const char*>& names = counting.names_;

            // Every call, then every allocation.
            std::vector<Point> points;
            std::vector<std::string> descriptions;
            std::map<std::string, std::size_t> seen;
            for (std::size_t k = 1; k <= names.size(); ++k) {
                const std::size_t nth = ++seen[names[k - 1]];
                points.push_back({false, k});
                descriptions.push_back(std::string(names[k - 1]) + " failing (its " + Ordinal(nth) + " call; call " +
                                       std::to_string(k) + " of " + std::to_string(names.size()) +
                                       " through the table)");
            }
            for (std::size_t k = 1; k <= counting.allocations_; ++k) {
                points.push_back({true, k});
                descriptions.push_back("allocation " + std::to_string(k) + " of " +
                                       std::to_string(counting.allocations_) + " failing");
            }
            caseLines += "  " + sweepCase.name + ": " + std::to_string(names.size()) + " calls, " +
                         std::to_string(counting.allocations_) + " allocations\n";

            for (std::size_t i = 0; i < points.size(); ++i) {
                const Point& point = points[i];
                std::snprintf(currentPoint, sizeof(currentPoint), "%s, %s, %s", scenario.c_str(),
                              sweepCase.name.c_str(), descriptions[i].c_str());
                SweepRun run = FaultSweep::Run(sweepCase, &point, false);
                std::string where = descriptions[i];
                if (point.allocation) {
                    const std::size_t after = run.callsAtAllocationFailure_;
                    where += after == 0 ? ", before the first call"
                                        : ", after call " + std::to_string(after) + " (" +
                                              (after <= names.size() ? names[after - 1] : "?") + ")";
                }
                if (!run.Failure().Any()) {
                    run.Problem("the run never came to this point (it made " + std::to_string(run.calls_) +
                                " calls and " + std::to_string(run.allocations_) + " allocations)");
                } else if (!point.allocation && std::string(run.Failure().call) != names[point.index - 1]) {
                    run.Problem(std::string("the call that failed was one of ") + run.Failure().call +
                                ": the run does not make the calls that were counted");
                }
                ++figures.points;
                if (run.problems_.empty()) {
                    ++figures.held;
                    continue;
                }
                std::string what;
                for (const std::string& problem : run.problems_) {
                    what += "\n    " + Indented(problem);
                }
                ADD_FAILURE() << scenario << ", " << sweepCase.name << ": " << where << ":" << what;
            }
        }
        currentPoint[0] = '\0';

        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%s: %zu failure points, %zu held\n%s  in %.1f s\n", scenario.c_str(), figures.points,
                    figures.held, caseLines.c_str(), seconds);
        std::fflush(stdout);
        return figures;
    }
};

SweepFigures RunFaultSweep(const std::string& scenario, const std::vector<SweepCase>& cases)
{
    return FaultSweep::Sweep(scenario, cases);
}
