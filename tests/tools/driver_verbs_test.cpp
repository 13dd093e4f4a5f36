// TarnwickCtl's driver verbs: the registry side runs in this process inside a
// RegistrySandbox (through RunTarnwickCtl); "press" runs the real program
// against real events.
#include "common/driver_config.h"
#include "service/hotkey_table.h"
#include "tests/service/service_fakes.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"
#include "tests/support/test_programs.h"
#include "tests/tools/ctl_run.h"
#include "tests/tools/key_security.h"

#include <gtest/gtest.h>

namespace {

std::vector<BYTE> Bytes(std::initializer_list<int> values)
{
    std::vector<BYTE> bytes;
    for (int v : values) {
        bytes.push_back(static_cast<BYTE>(v));
    }
    return bytes;
}

void ExpectValue(const std::wstring& hotkey, const wchar_t* name, DWORD type, const std::vector<BYTE>& data)
{
    DWORD actualType = 0;
    std::vector<BYTE> actual;
    ASSERT_TRUE(RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, HotkeySubkey(hotkey), name, actualType, actual))
        << name;
    EXPECT_EQ(actualType, type) << name;
    EXPECT_EQ(actual, data) << name;
}

class CtlDriverVerbs : public ::testing::Test {
protected:
    ServiceGlobalsReset globals;
    RegistrySandbox sandbox;
};

TEST_F(CtlDriverVerbs, SetsValuesOfEveryTypeListsAndRemovesThem)
{
    const std::wstring key = L"LWin+L";
    CtlRun run = RunCtlHere({L"set", key, L"--run", L"\"C:\\a b\\x.exe\" -q", L"--block", L"1", L"--blocklocal", L"0"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectValue(key, L"run", REG_SZ, Bytes({'"', 0, 'C', 0, ':', 0, '\\', 0, 'a', 0, ' ', 0, 'b', 0, '\\', 0, 'x', 0,
                                            '.', 0, 'e', 0, 'x', 0, 'e', 0, '"', 0, ' ', 0, '-', 0, 'q', 0, 0, 0}));
    ExpectValue(key, L"Block", REG_DWORD, Bytes({1, 0, 0, 0}));
    ExpectValue(key, L"BlockLocal", REG_DWORD, Bytes({0, 0, 0, 0}));

    const struct {
        const wchar_t* type;
        const wchar_t* data;
        DWORD regType;
        std::vector<BYTE> bytes;
    } values[] = {
        {L"REG_SZ", L"1", REG_SZ, Bytes({'1', 0, 0, 0})},
        {L"REG_EXPAND_SZ", L"%a%", REG_EXPAND_SZ, Bytes({'%', 0, 'a', 0, '%', 0, 0, 0})},
        {L"REG_DWORD", L"0x102", REG_DWORD, Bytes({2, 1, 0, 0})},
        {L"REG_QWORD", L"1", REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0})},
        {L"REG_BINARY", L"01", REG_BINARY, Bytes({1})},
    };
    for (const auto& v : values) {
        run = RunCtlHere({L"set-value", key, L"Block", v.type, v.data});
        ASSERT_EQ(run.exitCode, 0) << v.type << " " << run.err;
        ExpectValue(key, L"Block", v.regType, v.bytes);
    }
    ASSERT_EQ(RunCtlHere({L"set-value", key, L"Extra", L"REG_DWORD", L"7"}).exitCode, 0);

    run = RunCtlHere({L"list"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, L"LWin+L\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, L"  run: REG_SZ \"\"C:\\a b\\x.exe\" -q\"\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, L"  Block: REG_BINARY hex: 01\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, L"  BlockLocal: REG_DWORD 0 (0x00000000)\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, L"  Extra: REG_DWORD 7 (0x00000007)\n")) << run.out;

    run = RunCtlHere({L"remove", key, L"Extra"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_FALSE(RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, HotkeySubkey(key), L"Extra", type, data));
    EXPECT_TRUE(RegistrySandbox::GetValue(HKEY_LOCAL_MACHINE, HotkeySubkey(key), L"run", type, data));

    run = RunCtlHere({L"remove", key, L"Extra"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, L"\"Extra\"")) << run.err;

    run = RunCtlHere({L"remove", key});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, HotkeySubkey(key)));
    EXPECT_TRUE(Contains(RunCtlHere({L"list"}).out, L"no hotkeys")) << "the hotkey key itself stays, empty";

    run = RunCtlHere({L"remove", key});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, L"LWin+L")) << run.err;
}

TEST_F(CtlDriverVerbs, ListWithoutTheHotkeyKeySaysSo)
{
    const CtlRun run = RunCtlHere({L"list"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, L"no hotkeys")) << run.out;
}

// Names and strings in the hotkey key are written by whoever could write it;
// none of their control characters (a terminal's escape sequences among
// them) reaches the administrator's console.
TEST_F(CtlDriverVerbs, ListShowsControlCharactersOfNamesAndStringsAsEscapes)
{
    const std::wstring name = L"K\x1b[2J\x9b" L"31m";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"run", L"x.exe\x1b]0;pwned\x07\r\n");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(name), L"v\x7f\x1b", L"ok");

    const CtlRun run = RunCtlHere({L"list"});

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, L"K\\x1b[2J\\x9b31m\n")) << Narrow(run.out);
    EXPECT_TRUE(Contains(run.out, L"x.exe\\x1b]0;pwned\\x07\\x0d\\x0a")) << Narrow(run.out);
    EXPECT_TRUE(Contains(run.out, L"  v\\x7f\\x1b: ")) << Narrow(run.out);
    for (const wchar_t c : run.out) {
        const unsigned code = static_cast<unsigned>(c);
        EXPECT_TRUE(c == L'\n' || (code >= 0x20 && code != 0x7F && (code < 0x80 || code > 0x9F)))
            << "control character " << code;
    }
}

TEST_F(CtlDriverVerbs, WrongArgumentsGiveUsageAndExitCodeTwo)
{
    const CtlRun run = RunCtlHere({L"set-value", L"k", L"Block", L"REG_DWORD", L"many"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, L"\"many\"")) << run.err;
    EXPECT_TRUE(Contains(run.err, L"usage:")) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, HotkeySubkey(L"k")));
}

TEST_F(CtlDriverVerbs, AFailureSaysWhatFailedAndWhatToDo)
{
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, HotkeySubkey(L"LWin+L"));
    {
        // No value of the hotkey may be set.
        const KeySecurity denied(HKEY_LOCAL_MACHINE, HotkeySubkey(L"LWin+L"), L"D:(D;;0x2;;;WD)(A;;KA;;;WD)");
        const CtlRun run = RunCtlHere({L"set", L"LWin+L", L"--run", L"x.exe"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Contains(run.err, L"cannot create HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\"
                                      L"zqkbfiltr\\hotkey\\LWin+L (error 5"))
            << run.err;
        EXPECT_TRUE(Contains(run.err, L": run it from an elevated prompt\n")) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    const CtlRun run = RunCtlHere({L"remove", L"RWin+L"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, L"cannot remove hotkey \"RWin+L\" (error 2")) << run.err;
    EXPECT_TRUE(Contains(run.err, L"`TarnwickCtl list` shows the configured hotkeys")) << run.err;
}

TEST_F(CtlDriverVerbs, WhatItConfiguresIsWhatTheServiceLoads)
{
    const std::wstring blocked = UniqueHotkey(L"blocked");
    const std::wstring open = UniqueHotkey(L"open");
    ASSERT_EQ(RunCtlHere({L"set", blocked, L"--run", L"x.exe", L"--block", L"1"}).exitCode, 0);
    ASSERT_EQ(RunCtlHere({L"set", open, L"--run", L"\"C:\\a b\\y.exe\""}).exitCode, 0);
    DWORD error = 0;
    ASSERT_TRUE(LoadHotkeyTable(error)) << error;
    ASSERT_EQ(HotkeyCount, 2u);
    for (DWORD i = 0; i < HotkeyCount; ++i) {
        const bool isBlocked = HotkeyTable[i].name == blocked;
        EXPECT_EQ(HotkeyTable[i].block, isBlocked ? 1u : 0u);
        EXPECT_STREQ(HotkeyTable[i].command, isBlocked ? L"x.exe" : L"\"C:\\a b\\y.exe\"");
    }

    // A "run" of the wrong type, stored through the tool, fails the load.
    ASSERT_EQ(RunCtlHere({L"set-value", open, L"run", L"REG_EXPAND_SZ", L"y.exe"}).exitCode, 0);
    ServiceGlobalsReset again;
    EXPECT_FALSE(LoadHotkeyTable(error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_CONFIGURATION));
}

std::wstring Utf8ToWide(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    const int chars = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                          static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(chars > 0 ? chars : 0));
    return wide;
}

RunResult RunTool(const std::wstring& arguments)
{
    return RunProgram(L"\"" + BinPath(L"TarnwickCtl.exe") + L"\" " + arguments);
}

// A service's named objects live in the global namespace; a program in a
// user's session must open "Global\\" + the name to reach them. The bare
// name comes second, for a system that keeps no sessions apart.
TEST(CtlPress, OpensTheGlobalEventFirstAndSaysWhyNeitherName)
{
    const HANDLE kEvent = reinterpret_cast<HANDLE>(0x4E71);
    struct Case {
        const char* what;
        std::vector<DWORD> results;  // per name tried: 0 opens it, else the error
        std::vector<std::wstring> tried;
        int exitCode;
        const wchar_t* says;
    } const cases[] = {
        {"the global event", {0}, {L"Global\\ZQKBFiltrK+1"}, 0, L"pressed \"K+1\": event \"ZQKBFiltrK+1\" set"},
        {"the bare name", {ERROR_FILE_NOT_FOUND, 0}, {L"Global\\ZQKBFiltrK+1", L"ZQKBFiltrK+1"}, 0,
         L"pressed \"K+1\""},
        {"neither", {ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND}, {L"Global\\ZQKBFiltrK+1", L"ZQKBFiltrK+1"}, 1,
         L"the service is not running"},
        {"a global event that may not be set", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND},
         {L"Global\\ZQKBFiltrK+1", L"ZQKBFiltrK+1"}, 1, L"run it from an elevated prompt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KStrictWin32Override api(&Win32Api::FormatMessageW, &Win32Api::LocalFree);  // the error's text
        std::vector<std::wstring> tried;
        std::vector<HANDLE> set;
        win32.OpenEventW = [&](DWORD access, BOOL inherit, LPCWSTR name) -> HANDLE {
            EXPECT_EQ(access, static_cast<DWORD>(EVENT_MODIFY_STATE));
            EXPECT_FALSE(inherit);
            tried.push_back(name);
            const DWORD result = tried.size() <= c.results.size() ? c.results[tried.size() - 1] : ERROR_FILE_NOT_FOUND;
            SetLastError(result);
            return result == 0 ? kEvent : nullptr;
        };
        win32.SetEvent = [&](HANDLE event) {
            set.push_back(event);
            return TRUE;
        };
        win32.CloseHandle = [&](HANDLE event) { return event == kEvent ? TRUE : FALSE; };

        const CtlRun run = RunCtlHere({L"press", L"K+1"});

        EXPECT_EQ(tried, c.tried);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(Contains(run.exitCode == 0 ? run.out : run.err, c.says)) << Narrow(run.out + run.err);
        EXPECT_EQ(set, c.exitCode == 0 ? std::vector<HANDLE>{kEvent} : std::vector<HANDLE>{});
    }
}

TEST(CtlPress, SetsTheHotkeysEventAndFailsClearlyWithoutOne)
{
    const std::wstring name = UniqueHotkey(L"press me");
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, (L"ZQKBFiltr" + name).c_str());
    ASSERT_NE(event, nullptr);

    RunResult run = RunTool(L"press \"" + name + L"\"");
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(event);

    const std::wstring missing = UniqueHotkey(L"not loaded");
    run = RunTool(L"press \"" + missing + L"\"");
    EXPECT_EQ(run.exitCode, 1u);
    const std::wstring output = Utf8ToWide(run.output);
    EXPECT_TRUE(Contains(output, L"\"ZQKBFiltr" + missing + L"\"")) << run.output;
    EXPECT_TRUE(Contains(output, L"not running")) << run.output;

    run = RunTool(L"");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(Contains(Utf8ToWide(run.output), L"usage:")) << run.output;
}

}  // namespace
