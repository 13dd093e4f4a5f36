// The test side of the `win32` seam: strict mode, putting real functions
// back into named slots, and the per-slot restore that fakes hold.
#include "common/win32_api.h"
#include "tests/support/strict_win32.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> reported;

void RecordUnreplacedCall(const char* slot)
{
    reported.push_back(slot);
}

const DWORD kUntouched = 0x2BAD;  // a last error that no call sets

TEST(StrictMode, AnUnreplacedCallReportsItsSlotAndFailsAsTheFunctionDoes)
{
    struct Case {
        const char* slot;
        std::function<void()> call;  // makes the call and checks its result
        DWORD lastError;
    } const cases[] = {
        {"CreateEventW", [] { EXPECT_EQ(win32.CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr); },
         ERROR_NOT_ENOUGH_MEMORY},
        {"SetEvent", [] { EXPECT_EQ(win32.SetEvent(nullptr), FALSE); }, ERROR_INVALID_HANDLE},
        {"WaitForMultipleObjects",
         [] { EXPECT_EQ(win32.WaitForMultipleObjects(0, nullptr, FALSE, 0), static_cast<DWORD>(WAIT_FAILED)); },
         ERROR_INVALID_HANDLE},
        // The registry returns its error and leaves the last error alone.
        {"RegOpenKeyExW",
         [] {
             HKEY key = nullptr;
             EXPECT_EQ(win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, &key),
                       static_cast<LONG>(ERROR_ACCESS_DENIED));
         },
         kUntouched},
        {"OpenSCManagerW", [] { EXPECT_EQ(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT), nullptr); },
         ERROR_ACCESS_DENIED},
        {"WTSGetActiveConsoleSessionId", [] { EXPECT_EQ(win32.WTSGetActiveConsoleSessionId(), 0xFFFFFFFFu); },
         kUntouched},
        // Functions without a failure give a zero value, or nothing.
        {"GetTickCount", [] { EXPECT_EQ(win32.GetTickCount(), 0u); }, kUntouched},
        {"Sleep", [] { win32.Sleep(60000); }, kUntouched},
        {"keybd_event", [] { win32.keybd_event(VK_LWIN, 0, 0, 0); }, kUntouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        reported.clear();
        Win32Override api(&RecordUnreplacedCall);
        ::SetLastError(kUntouched);
        c.call();
        EXPECT_EQ(::GetLastError(), c.lastError);
        EXPECT_EQ(reported, std::vector<std::string>{c.slot});
    }
}

TEST(StrictMode, FailsTheRunningTestNamingTheSlot)
{
    EXPECT_NONFATAL_FAILURE(
        {
            StrictWin32Override api;
            win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        },
        "OpenSCManagerW");
}

TEST(StrictMode, ReplacedAndRealSlotsWorkAndTheWholeTableComesBackAfterwards)
{
    reported.clear();
    {
        Win32Override api(&RecordUnreplacedCall);
        api.UseReal(&Win32Api::CreateEventW, &Win32Api::SetEvent, &Win32Api::CloseHandle);
        win32.GetTickCount = [] { return 42ul; };

        const HANDLE event = win32.CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(event, nullptr);
        EXPECT_TRUE(win32.SetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(win32.CloseHandle(event));
        EXPECT_EQ(win32.GetTickCount(), 42u);
        EXPECT_TRUE(reported.empty());

        // Another slot still reports.
        win32.ResetEvent(nullptr);
        EXPECT_EQ(reported, std::vector<std::string>{"ResetEvent"});
    }
    // The real functions again, the one that was strict included.
    reported.clear();
    const HANDLE event = win32.CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_TRUE(win32.ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(win32.CloseHandle(event));
    EXPECT_TRUE(reported.empty());
}

// Two fakes that wrap the same slot (each calls what it found there), and
// one that replaces a slot twice: each put back what it found, the last
// replacement first.
TEST(Win32Substitutes, StackedWrappersComeOffInTheReverseOrder)
{
    Win32Override api;
    win32.GetTickCount = [] { return 1ul; };
    win32.MapVirtualKeyW = [](UINT, UINT) -> UINT { return 7; };
    {
        Win32Substitutes outer;
        const auto found = win32.GetTickCount;
        outer.Replace(&Win32Api::GetTickCount, [found] { return found() + 10; });
        outer.Replace(&Win32Api::MapVirtualKeyW, [](UINT, UINT) -> UINT { return 8; });
        {
            Win32Substitutes inner;
            const auto wrapped = win32.GetTickCount;
            inner.Replace(&Win32Api::GetTickCount, [wrapped] { return wrapped() + 100; });
            inner.Replace(&Win32Api::GetTickCount, [] { return 5000ul; });
            EXPECT_EQ(win32.GetTickCount(), 5000u);
        }
        EXPECT_EQ(win32.GetTickCount(), 11u);
        EXPECT_EQ(win32.MapVirtualKeyW(0, 0), 8u);
    }
    EXPECT_EQ(win32.GetTickCount(), 1u);
    EXPECT_EQ(win32.MapVirtualKeyW(0, 0), 7u);
}

}  // namespace
