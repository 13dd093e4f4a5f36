// The hotkey table read from a real registry (inside a RegistrySandbox), the
// hotkey events, and what DispatchHotkey starts. Process creation is
// recorded instead of made.
#include "service/hotkey_table.h"
#include "service/service_state.h"
#include "tests/service/service_fakes.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

namespace {

class HotkeyTableTest : public ::testing::Test {
protected:
    void Load()
    {
        DWORD error = 0;
        ASSERT_TRUE(LoadHotkeyTable(error)) << "error " << error;
    }

    // Loads the table and dispatches every entry once; returns the command
    // lines started, by hotkey name.
    std::map<std::wstring, std::wstring> LoadAndDispatchAll()
    {
        Load();
        std::map<std::wstring, std::wstring> started;
        for (DWORD i = 0; i < HotkeyCount; ++i) {
            const size_t before = launches.creates.size();
            DispatchHotkey(i);
            if (launches.creates.size() > before) {
                started[HotkeyTable[i].name] = launches.creates.back().commandLine;
            }
        }
        return started;
    }

    ServiceGlobalsReset globals;
    RegistrySandbox sandbox;
    KWin32Override api;
    LaunchRecorder launches;
};

TEST_F(HotkeyTableTest, OnlyABlockValueOfOneBlocks)
{
    struct Case {
        const wchar_t* what;
        DWORD type;  // 0: no "Block" value
        std::vector<BYTE> data;
        bool blocked;
    } const cases[] = {
        {L"dword-1", REG_DWORD, {1, 0, 0, 0}, true},
        {L"dword-0", REG_DWORD, {0, 0, 0, 0}, false},
        {L"dword-2", REG_DWORD, {2, 0, 0, 0}, false},
        {L"missing", 0, {}, false},
        {L"string-1", REG_SZ, {'1', 0, 0, 0}, false},        // read as 49
        {L"qword-1", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false},  // too long to read: 0
        {L"binary-01", REG_BINARY, {1}, true},               // the bytes it does not fill are 0
        {L"binary-0100", REG_BINARY, {1, 0}, true},
        {L"binary-0101", REG_BINARY, {1, 1}, false},
        {L"binary-empty", REG_BINARY, {}, false},
        {L"dword-1-as-binary", REG_BINARY, {1, 0, 0, 0}, true},  // the type is not examined
    };
    for (const Case& c : cases) {
        const std::wstring path = HotkeySubkey(UniqueHotkey(c.what));
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, path, L"run", L"x.exe");
        if (c.type != 0) {
            RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, path, L"Block", c.type, c.data.data(),
                                      static_cast<DWORD>(c.data.size()));
        }
    }

    const auto started = LoadAndDispatchAll();

    ASSERT_EQ(HotkeyCount, std::size(cases));
    for (const Case& c : cases) {
        EXPECT_EQ(started.count(UniqueHotkey(c.what)) == 0, c.blocked) << c.what;
    }
}

TEST_F(HotkeyTableTest, TheCommandIsTheRunTextUpToItsEnd)
{
    struct Case {
        const wchar_t* what;
        std::vector<BYTE> data;  // stored as REG_SZ
        const wchar_t* command;  // nullptr: nothing is started
    } const cases[] = {
        {L"empty", {0, 0}, nullptr},
        {L"no-bytes", {}, nullptr},
        {L"terminated", {'a', 0, 'b', 0, 0, 0}, L"ab"},
        {L"unterminated", {'a', 0, 'b', 0}, L"ab"},
        {L"odd-length", {'a', 0, 'b', 0, 'c'}, L"abc"},  // the odd byte ends inside the buffer
        {L"embedded-nul", {'a', 0, 0, 0, 'b', 0, 0, 0}, L"a"},
    };
    for (const Case& c : cases) {
        RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, HotkeySubkey(UniqueHotkey(c.what)), L"run", REG_SZ,
                                  c.data.data(), static_cast<DWORD>(c.data.size()));
    }

    const auto started = LoadAndDispatchAll();

    for (const Case& c : cases) {
        const std::wstring name = UniqueHotkey(c.what);
        if (c.command == nullptr) {
            EXPECT_EQ(started.count(name), 0u) << c.what;
        } else {
            ASSERT_EQ(started.count(name), 1u) << c.what;
            EXPECT_EQ(started.at(name), std::wstring(c.command) + L" " + name) << c.what;
        }
    }
    // A hotkey with an empty command still has its event.
    for (DWORD i = 0; i < HotkeyCount; ++i) {
        EXPECT_TRUE(HotkeyTable[i].event) << HotkeyTable[i].name;
    }
}

TEST_F(HotkeyTableTest, TheCommandLineIsRunABlankAndTheNameStartedUnderTheServiceLock)
{
    const std::wstring run = L"\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\"";
    const std::wstring name = UniqueHotkey(L"LWin+L");
    const std::wstring spaced = UniqueHotkey(L"a b");
    const std::wstring unquoted = UniqueHotkey(L"unquoted");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", run);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(spaced), L"run", L"x.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(unquoted), L"run", L"C:\\Program Files\\x.exe");

    const auto started = LoadAndDispatchAll();

    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started.at(name), run + L" " + name);
    EXPECT_EQ(started.at(spaced), L"x.exe " + spaced);  // nothing quoted
    EXPECT_EQ(started.at(unquoted), L"C:\\Program Files\\x.exe " + unquoted);
    for (const CreateCall& call : launches.creates) {
        EXPECT_FALSE(call.lockFreeForOthers) << "started while ServiceLock is held";
    }
    // ...and released afterwards.
    bool freeAfterwards = false;
    std::thread other([&] {
        freeAfterwards = ServiceLock.TryEnter();
        if (freeAfterwards) {
            ServiceLock.Leave();
        }
    });
    other.join();
    EXPECT_TRUE(freeAfterwards);
}

TEST_F(HotkeyTableTest, DispatchDropsASignalThatArrivedAfterTheWait)
{
    const std::wstring name = UniqueHotkey(L"k");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", L"x.exe");
    Load();
    ASSERT_EQ(HotkeyCount, 1u);
    HANDLE event = HotkeyTable[0].event.get();
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "created non-signalled";

    SetEvent(event);  // pressed again between the wait and the dispatch
    DispatchHotkey(0);

    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(launches.creates.size(), 1u);
}

}  // namespace
