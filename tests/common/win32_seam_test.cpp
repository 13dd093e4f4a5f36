// The test side of the `win32` seam: strict mode, putting real functions
// back into named slots, and the per-slot restore that fakes hold.
#include "common/win32_api.h"
#include "tests/support/strict_win32.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
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
        // So does Windows Installer.
        {"MsiSetPropertyW",
         [] { EXPECT_EQ(win32.MsiSetPropertyW(1, L"P", L"v"), static_cast<UINT>(ERROR_INVALID_HANDLE)); },
         kUntouched},
        // Functions without a failure give a zero value, or nothing.
        {"GetTickCount", [] { EXPECT_EQ(win32.GetTickCount(), 0u); }, kUntouched},
        {"Sleep", [] { win32.Sleep(60000); }, kUntouched},
        {"keybd_event", [] { win32.keybd_event(VK_LWIN, 0, 0, 0); }, kUntouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        reported.clear();
        KWin32Override api(&RecordUnreplacedCall);
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
            KStrictWin32Override api;
            win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        },
        "OpenSCManagerW");
}

TEST(StrictMode, ReplacedAndRealSlotsWorkAndTheWholeTableComesBackAfterwards)
{
    reported.clear();
    {
        KWin32Override api(&RecordUnreplacedCall);
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
TEST(KWin32Substitutes, StackedWrappersComeOffInTheReverseOrder)
{
    KWin32Override api;
    win32.GetTickCount = [] { return 1ul; };
    win32.MapVirtualKeyW = [](UINT, UINT) -> UINT { return 7; };
    {
        KWin32Substitutes outer;
        const auto found = win32.GetTickCount;
        outer.Replace(&Win32Api::GetTickCount, [found] { return found() + 10; });
        outer.Replace(&Win32Api::MapVirtualKeyW, [](UINT, UINT) -> UINT { return 8; });
        {
            KWin32Substitutes inner;
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

// ---------------------------------------------------------------------------
// The functions of wtsapi32.dll and version.dll, bound at run time

// Puts a loader of its own in place of the real one, and the real one back
// (each time with no function bound, so that the next call binds anew).
class FakeSystemDllLoader {
public:
    FakeSystemDllLoader() : saved_(systemDllLoader)
    {
        ForgetSystemDllBindings();
        systemDllLoader.load = [this](LPCWSTR dll, HANDLE reserved, DWORD flags) -> HMODULE {
            loads.push_back({dll, flags});
            EXPECT_EQ(reserved, nullptr);
            if (loadError != 0) {
                ::SetLastError(loadError);
                return nullptr;
            }
            return kModule;
        };
        systemDllLoader.find = [this](HMODULE module, LPCSTR name) -> FARPROC {
            EXPECT_EQ(module, kModule);
            finds.push_back(name);
            const auto found = functions.find(name);
            if (found == functions.end()) {
                ::SetLastError(ERROR_PROC_NOT_FOUND);
                return nullptr;
            }
            return found->second;
        };
        systemDllLoader.release = [this](HMODULE module) -> BOOL {
            EXPECT_EQ(module, kModule);
            ++releases;
            return TRUE;
        };
    }
    ~FakeSystemDllLoader()
    {
        systemDllLoader = saved_;
        ForgetSystemDllBindings();
    }
    FakeSystemDllLoader(const FakeSystemDllLoader&) = delete;
    FakeSystemDllLoader& operator=(const FakeSystemDllLoader&) = delete;

    struct Load {
        std::wstring dll;
        DWORD flags;
        bool operator==(const Load& other) const { return dll == other.dll && flags == other.flags; }
    };
    std::vector<Load> loads;
    std::vector<std::string> finds;
    int releases = 0;
    DWORD loadError = 0;                     // nonzero: no module loads
    std::map<std::string, FARPROC> functions;  // what the module exports

private:
    const HMODULE kModule = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x7A0000));
    SystemDllLoader saved_;
};

template <typename F>
FARPROC Exported(F* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

DWORD WINAPI FakeVersionInfoSize(LPCWSTR, LPDWORD handle)
{
    *handle = 0;
    return 42;
}

BOOL WINAPI FakeUserToken(ULONG session, PHANDLE token)
{
    *token = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(session));
    return TRUE;
}

MSIHANDLE WINAPI FakeCreateRecord(UINT fields)
{
    return 0x500 + fields;
}

TEST(SystemDllFunctions, AreBoundAtTheirFirstCallFromTheSystemFolderAloneAndOnlyOnce)
{
    FakeSystemDllLoader loader;
    loader.functions["GetFileVersionInfoSizeW"] = Exported(&FakeVersionInfoSize);
    loader.functions["WTSQueryUserToken"] = Exported(&FakeUserToken);
    loader.functions["MsiCreateRecord"] = Exported(&FakeCreateRecord);
    using Load = FakeSystemDllLoader::Load;

    DWORD handle = 1;
    EXPECT_EQ(win32.GetFileVersionInfoSizeW(L"x.exe", &handle), 42u);
    EXPECT_EQ(win32.GetFileVersionInfoSizeW(L"y.exe", &handle), 42u);
    EXPECT_EQ(loader.loads, (std::vector<Load>{{L"version.dll", LOAD_LIBRARY_SEARCH_SYSTEM32}}));

    HANDLE token = nullptr;
    EXPECT_TRUE(win32.WTSQueryUserToken(7, &token));
    EXPECT_EQ(token, reinterpret_cast<HANDLE>(7));
    EXPECT_EQ(loader.loads, (std::vector<Load>{{L"version.dll", LOAD_LIBRARY_SEARCH_SYSTEM32},
                                               {L"wtsapi32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32}}));
    EXPECT_EQ(win32.MsiCreateRecord(2), MSIHANDLE{0x502});
    EXPECT_EQ(win32.MsiCreateRecord(1), MSIHANDLE{0x501});
    EXPECT_EQ(loader.loads, (std::vector<Load>{{L"version.dll", LOAD_LIBRARY_SEARCH_SYSTEM32},
                                               {L"wtsapi32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32},
                                               {L"msi.dll", LOAD_LIBRARY_SEARCH_SYSTEM32}}));
    EXPECT_EQ(loader.finds,
              (std::vector<std::string>{"GetFileVersionInfoSizeW", "WTSQueryUserToken", "MsiCreateRecord"}));
    EXPECT_EQ(loader.releases, 0) << "a module whose function is bound stays loaded";
}

// A function that cannot be bound fails as the function itself fails, with
// the loader's error; the next call tries again.
TEST(SystemDllFunctions, OneThatCannotBeBoundFailsAsItsFunctionWithTheLoadersError)
{
    const std::pair<const char*, std::function<bool()>> calls[] = {
        {"WTSQuerySessionInformationW",
         [] {
             LPWSTR buffer = nullptr;
             DWORD bytes = 0;
             return win32.WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, 1, WTSUserName, &buffer, &bytes) ==
                        FALSE &&
                    buffer == nullptr;
         }},
        {"WTSQueryUserToken",
         [] {
             HANDLE token = nullptr;
             return win32.WTSQueryUserToken(1, &token) == FALSE && token == nullptr;
         }},
        {"WTSFreeMemory",
         [] {
             win32.WTSFreeMemory(nullptr);
             return true;
         }},
        {"GetFileVersionInfoSizeW",
         [] {
             DWORD handle = 0;
             return win32.GetFileVersionInfoSizeW(L"x.exe", &handle) == 0;
         }},
        {"GetFileVersionInfoW",
         [] {
             BYTE block[16] = {};
             return win32.GetFileVersionInfoW(L"x.exe", 0, sizeof(block), block) == FALSE;
         }},
        {"VerQueryValueW",
         [] {
             BYTE block[16] = {};
             void* value = nullptr;
             UINT size = 0;
             return win32.VerQueryValueW(block, L"\\", &value, &size) == FALSE && value == nullptr;
         }},
        {"MsiCreateRecord", [] { return win32.MsiCreateRecord(1) == 0; }},
        {"MsiGetPropertyW",
         [] {
             wchar_t value[4] = L"x";
             DWORD chars = 4;
             return win32.MsiGetPropertyW(1, L"P", value, &chars) == ERROR_INVALID_HANDLE;
         }},
        {"MsiProcessMessage", [] { return win32.MsiProcessMessage(1, INSTALLMESSAGE_INFO, 2) == -1; }},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.first);
        FakeSystemDllLoader loader;
        loader.loadError = ERROR_MOD_NOT_FOUND;
        ::SetLastError(0);
        EXPECT_TRUE(call.second());
        if (std::string(call.first) != "WTSFreeMemory") {
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        }

        // The module loads, but does not have the function: given back.
        loader.loadError = 0;
        ::SetLastError(0);
        EXPECT_TRUE(call.second());
        if (std::string(call.first) != "WTSFreeMemory") {
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        }
        EXPECT_EQ(loader.loads.size(), 2u) << "tried again";
        EXPECT_EQ(loader.finds, std::vector<std::string>{call.first});
        EXPECT_EQ(loader.releases, 1);
    }
}

// The real binding, from Wine's system folder.
TEST(SystemDllFunctions, TheRealOnesWork)
{
    ForgetSystemDllBindings();
    DWORD handle = 0;
    EXPECT_GT(win32.GetFileVersionInfoSizeW(BinPath(L"TarnwickCtl.exe").c_str(), &handle), 0u);
    LPWSTR user = nullptr;
    DWORD bytes = 0;
    ASSERT_TRUE(win32.WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, win32.WTSGetActiveConsoleSessionId(),
                                                  WTSUserName, &user, &bytes));
    EXPECT_GT(bytes, 0u);
    win32.WTSFreeMemory(user);
    // Windows Installer's, outside an install: a record of this process.
    const MSIHANDLE record = win32.MsiCreateRecord(1);
    ASSERT_NE(record, MSIHANDLE{0});
    EXPECT_EQ(win32.MsiRecordSetStringW(record, 1, L"text"), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(win32.MsiCloseHandle(record), static_cast<UINT>(ERROR_SUCCESS));
}

}  // namespace
