// The two injectors of the fault sweep: which Windows call fails and how, and
// what the failing allocation counts and holds. A sweep whose injector failed
// nothing, or whose byte count missed a block, would pass without showing
// anything.
#include "tests/support/allocation_failure.h"
#include "tests/support/win32_fault_injection.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

const DWORD kUntouched = 0x2BAD;  // a last error that no call sets

// Where an allocation is kept, so that the compiler cannot leave it out.
void* volatile kept = nullptr;

// Substitutes that note each call that reaches them.
struct NotedCalls {
    NotedCalls()
    {
        substitutes.Replace(&Win32Api::SetEvent, [this](HANDLE) {
            reached.push_back("SetEvent");
            return TRUE;
        });
        substitutes.Replace(&Win32Api::RegOpenKeyExW, [this](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY key) -> LONG {
            reached.push_back("RegOpenKeyExW");
            *key = reinterpret_cast<HKEY>(0x4321);
            return ERROR_SUCCESS;
        });
        substitutes.Replace(&Win32Api::CloseHandle, [this](HANDLE) {
            reached.push_back("CloseHandle");
            return TRUE;
        });
        substitutes.Replace(&Win32Api::GetTickCount, [this]() -> DWORD {
            reached.push_back("GetTickCount");
            return 7;
        });
    }
    std::vector<std::string> reached;
    KWin32Substitutes substitutes;
};

TEST(Win32FaultInjector, FailsTheChosenCallAsItsFunctionFailsAndCountsOnlyCallsThatCanFail)
{
    struct Case {
        std::size_t failAt;
        const char* failedCall;
        DWORD error;  // as the injector reports it
        std::vector<DWORD> lastErrors;  // as GetLastError reads them after each counted call
        std::vector<std::string> reached;
    } const cases[] = {
        {0, nullptr, 0, {kUntouched, kUntouched, kUntouched},
         {"SetEvent", "GetTickCount", "RegOpenKeyExW", "CloseHandle"}},
        // The failing call does not reach the member it wraps.
        {1, "SetEvent", ERROR_INVALID_HANDLE, {ERROR_INVALID_HANDLE, kUntouched, kUntouched},
         {"GetTickCount", "RegOpenKeyExW", "CloseHandle"}},
        // A registry call returns its error and leaves the last error.
        {2, "RegOpenKeyExW", ERROR_ACCESS_DENIED, {kUntouched, kUntouched, kUntouched},
         {"SetEvent", "GetTickCount", "CloseHandle"}},
        // A failing release still releases.
        {3, "CloseHandle", ERROR_INVALID_HANDLE, {kUntouched, kUntouched, ERROR_INVALID_HANDLE},
         {"SetEvent", "GetTickCount", "RegOpenKeyExW", "CloseHandle"}},
        {4, nullptr, 0, {kUntouched, kUntouched, kUntouched},
         {"SetEvent", "GetTickCount", "RegOpenKeyExW", "CloseHandle"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAt);
        KWin32Override api;
        NotedCalls noted;
        std::vector<DWORD> lastErrors;
        BOOL set = FALSE;
        LONG opened = ERROR_SUCCESS;
        HKEY key = nullptr;
        BOOL closed = FALSE;
        {
            Win32FaultInjector injector(c.failAt);
            injector.RecordNames();
            ::SetLastError(kUntouched);
            set = win32.SetEvent(reinterpret_cast<HANDLE>(0x10));
            lastErrors.push_back(::GetLastError());
            EXPECT_EQ(win32.GetTickCount(), 7u) << "a call that cannot fail is neither counted nor failed";
            ::SetLastError(kUntouched);
            opened = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"x", 0, KEY_READ, &key);
            lastErrors.push_back(::GetLastError());
            ::SetLastError(kUntouched);
            closed = win32.CloseHandle(reinterpret_cast<HANDLE>(0x20));
            lastErrors.push_back(::GetLastError());
            EXPECT_EQ(injector.Count(), 3u);
            const std::vector<std::string> names(injector.Names().begin(), injector.Names().end());
            EXPECT_EQ(names, (std::vector<std::string>{"SetEvent", "RegOpenKeyExW", "CloseHandle"}));
            EXPECT_EQ(injector.Failed(), c.failedCall != nullptr);
            EXPECT_STREQ(injector.FailedCall(), c.failedCall);
            EXPECT_EQ(injector.FailedError(), c.error);
        }
        EXPECT_EQ(lastErrors, c.lastErrors);
        EXPECT_EQ(set, c.failAt == 1 ? FALSE : TRUE);
        EXPECT_EQ(opened, c.failAt == 2 ? static_cast<LONG>(ERROR_ACCESS_DENIED) : ERROR_SUCCESS);
        EXPECT_EQ(key, c.failAt == 2 ? nullptr : reinterpret_cast<HKEY>(0x4321));
        EXPECT_EQ(closed, c.failAt == 3 ? FALSE : TRUE);
        EXPECT_EQ(noted.reached, c.reached);
        // The injector put back what it wrapped.
        noted.reached.clear();
        EXPECT_TRUE(win32.SetEvent(nullptr));
        EXPECT_EQ(noted.reached, std::vector<std::string>{"SetEvent"});
    }
}

TEST(Win32FaultInjector, CountsOnlyTheCallsOfItsOwnThread)
{
    KWin32Override api;
    NotedCalls noted;
    Win32FaultInjector injector(1);
    std::thread other([] { EXPECT_TRUE(win32.SetEvent(nullptr)); });
    other.join();
    EXPECT_EQ(injector.Count(), 0u);
    EXPECT_FALSE(win32.SetEvent(nullptr));
    EXPECT_STREQ(injector.FailedCall(), "SetEvent");
}

TEST(FailingAllocation, HoldsTheBytesOfItsBlocksUntilTheyAreFreedAndCountsNothingInAPause)
{
    // Read inside, checked outside: the checks allocate.
    std::size_t heldWithResumed = 0;
    std::size_t heldAfterPause = 0;
    std::size_t heldAtEnd = 0;
    std::size_t heldAfterEarlierBlock = 0;
    std::size_t count = 0;
    {
        FailingAllocation counting(0);
        auto first = std::make_unique<char[]>(100);
        kept = first.get();
        std::unique_ptr<char[]> paused;
        {
            AllocationPause pause;
            paused = std::make_unique<char[]>(1000);
            kept = paused.get();
            {
                AllocationResume resume;
                auto counted = std::make_unique<char[]>(10);
                kept = counted.get();
                heldWithResumed = counting.BytesHeld();
            }
        }
        count = counting.Count();
        heldAfterPause = counting.BytesHeld();
        first.reset();
        paused.reset();
        heldAtEnd = counting.BytesHeld();

        // A block of an earlier count, freed now, counts against nothing.
        std::unique_ptr<char[]> earlier;
        {
            FailingAllocation before(0);
            earlier = std::make_unique<char[]>(50);
            kept = earlier.get();
        }
        earlier.reset();
        heldAfterEarlierBlock = counting.BytesHeld();
    }
    EXPECT_EQ(heldWithResumed, 110u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(heldAfterPause, 100u);
    EXPECT_EQ(heldAtEnd, 0u);
    EXPECT_EQ(heldAfterEarlierBlock, 0u);
}

TEST(FailingAllocation, TheChosenAllocationThrowsOrGivesNullAndTellsWhen)
{
    int noted = 0;
    int notedAtThrow = -1;
    bool threw = false;
    bool failed = false;
    std::size_t count = 0;
    int* fromNothrow = reinterpret_cast<int*>(1);
    {
        FailingAllocation failing(2);
        failing.OnFailure([](void* context) { ++*static_cast<int*>(context); }, &noted);
        auto first = std::make_unique<int>(1);
        kept = first.get();
        try {
            auto second = std::make_unique<int>(2);
            kept = second.get();
        } catch (const std::bad_alloc&) {
            threw = true;
            notedAtThrow = noted;
        }
        auto third = std::make_unique<int>(3);
        kept = third.get();
        failed = failing.Failed();
        count = failing.Count();
    }
    {
        FailingAllocation nothrow(1);
        fromNothrow = new (std::nothrow) int(4);
        kept = fromNothrow;
    }
    EXPECT_TRUE(threw);
    EXPECT_EQ(notedAtThrow, 1) << "told before it throws";
    EXPECT_EQ(noted, 1);
    EXPECT_TRUE(failed);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(fromNothrow, nullptr);
    delete fromNothrow;
}

}  // namespace
