#include "tools/smoke/smoke_rules.h"

#include "tests/support/narrow_text.h"
#include "tests/support/text_contains.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

KeyRecord Key(std::uint32_t message, std::uint32_t virtualKey, std::uint32_t lParam, bool atCapture = true)
{
    KeyRecord record;
    record.atCaptureWindow = atCapture;
    record.message = message;
    record.wParam = virtualKey;
    record.lParam = lParam;
    return record;
}

// A layout whose scan codes differ from the usual ones, so that a judge that
// took fixed codes instead of the layout's would be caught.
LayoutScans Scans()
{
    LayoutScans scans;
    scans.lwin = 0x5B;
    scans.l = 0x19;
    scans.control = 0x1D;
    scans.menu = 0x38;
    scans.end = 0x4F;
    return scans;
}

TEST(SmokeArgs, TheServiceNameHelpAndTheClientMode)
{
    struct Case {
        std::vector<std::wstring> args;
        SmokeMode mode;
        const wchar_t* service;
        const wchar_t* record;
        std::uint32_t parent;
        bool error;
    } const cases[] = {
        {{}, SmokeMode::Smoke, L"TarnwickSvc", L"", 0, false},
        {{L"--service", L"TarnwickSvcTest"}, SmokeMode::Smoke, L"TarnwickSvcTest", L"", 0, false},
        {{L"--service"}, SmokeMode::Smoke, L"TarnwickSvc", L"", 0, true},
        {{L"--service", L""}, SmokeMode::Smoke, L"TarnwickSvc", L"", 0, true},
        {{L"--service", L"A", L"B"}, SmokeMode::Smoke, L"A", L"", 0, true},
        {{L"--help"}, SmokeMode::Help, L"TarnwickSvc", L"", 0, false},
        {{L"/?"}, SmokeMode::Help, L"TarnwickSvc", L"", 0, false},
        {{L"--client", L"C:\\T e\\keys.txt", L"4294967295"}, SmokeMode::Client, L"TarnwickSvc", L"C:\\T e\\keys.txt",
         4294967295u, false},
        {{L"--client", L"k.txt", L"4294967296"}, SmokeMode::Smoke, L"TarnwickSvc", L"", 0, true},
        {{L"--client", L"k.txt", L"12a"}, SmokeMode::Smoke, L"TarnwickSvc", L"", 0, true},
        {{L"--client", L"k.txt"}, SmokeMode::Smoke, L"TarnwickSvc", L"", 0, true},
        {{L"--client", L"", L"12"}, SmokeMode::Smoke, L"TarnwickSvc", L"", 0, true},
        {{L"LWin+L"}, SmokeMode::Smoke, L"TarnwickSvc", L"", 0, true},
    };
    for (const Case& c : cases) {
        std::wstring line;
        for (const std::wstring& arg : c.args) {
            line += L"[" + arg + L"]";
        }
        SCOPED_TRACE(Narrow(line));
        const SmokeArgs parsed = ParseSmokeArgs(c.args);
        EXPECT_EQ(!parsed.error.empty(), c.error) << Narrow(parsed.error);
        if (!c.error) {
            EXPECT_EQ(parsed.mode, c.mode);
            EXPECT_EQ(parsed.service, c.service);
            EXPECT_EQ(parsed.recordPath, c.record);
            EXPECT_EQ(parsed.parentId, c.parent);
        }
    }
}

TEST(SmokeClientLog, ReadsTheReadyLineAndTheCompleteKeyLinesItsClientWrites)
{
    const KeyRecord keys[] = {
        Key(kWmSysKeyDown, kVkMenu, 0x20380001u),
        Key(kWmKeyUp, kVkLWin, 0xC15B0001u, false),
        Key(0x0100, 0xFFFFFFFFu, 0xFFFFFFFFu),
    };
    std::string text = FormatReadyLine(0x1234ABCDull, 0xFFFFFFFF00000001ull);
    for (const KeyRecord& key : keys) {
        text += FormatRecordLine(key);
    }
    text += "something else\r\n" + std::string("capture 0x100 0x5B\r\n") + "capture 0x100 0x5B 0x1 0x1\r\n" +
            "capture 0x100 0xXY 0x1\r\n";
    // A line still being written is left out until its end arrives.
    const std::string partial = FormatRecordLine(Key(kWmKeyDown, kVkL, 0x00190001u));
    text += partial.substr(0, partial.size() - 2);

    ClientLog log = ParseClientLog(text);
    EXPECT_TRUE(log.ready);
    EXPECT_EQ(log.frameWindow, 0x1234ABCDull);
    EXPECT_EQ(log.captureWindow, 0xFFFFFFFF00000001ull);
    ASSERT_EQ(log.keys.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(log.keys[i] == keys[i]) << i << ": " << Narrow(DescribeKey(log.keys[i]));
    }

    log = ParseClientLog(text + "\n");
    ASSERT_EQ(log.keys.size(), 4u);
    EXPECT_EQ(log.keys[3].wParam, kVkL);
    EXPECT_FALSE(ParseClientLog(FormatRecordLine(keys[0])).ready);
}

TEST(SmokeJudgeWinL, WantsExactlyTheFourPostsOfTheAgentWithTheLayoutsScanCodes)
{
    const std::vector<KeyRecord> posted = {
        Key(kWmKeyDown, kVkLWin, 0x015B0001u),
        Key(kWmKeyDown, kVkL, 0x00190001u),
        Key(kWmKeyUp, kVkL, 0xC0190001u),
        Key(kWmKeyUp, kVkLWin, 0xC15B0001u),
    };
    const auto with = [&](std::size_t index, const KeyRecord& key) {
        std::vector<KeyRecord> keys = posted;
        keys[index] = key;
        return keys;
    };
    std::vector<KeyRecord> extra = posted;
    extra.push_back(posted[0]);
    struct Case {
        const char* what;
        std::vector<KeyRecord> keys;
        Judgement judgement;
        const wchar_t* text;
    } const cases[] = {
        {"as posted", posted, Judgement::Pass, L"(0x5B, 0x19)"},
        {"none yet", {}, Judgement::Waiting, L"0 keys of the four"},
        {"two so far", {posted[0], posted[1]}, Judgement::Waiting, L"2 keys of the four"},
        {"L first", {posted[1]}, Judgement::Fail, L"key 1 should be WM_KEYDOWN VK_LWIN"},
        {"Windows key not extended", with(0, Key(kWmKeyDown, kVkLWin, 0x005B0001u)), Judgement::Fail, L"key 1"},
        {"Wine's scan code of L in another layout", with(1, Key(kWmKeyDown, kVkL, 0x00260001u)), Judgement::Fail,
         L"key 2 should be WM_KEYDOWN L (0x4C), scan 0x19"},
        {"release without its transition bit", with(2, Key(kWmKeyUp, kVkL, 0x40190001u)), Judgement::Fail,
         L"key 3"},
        {"at the frame window", with(3, Key(kWmKeyUp, kVkLWin, 0xC15B0001u, false)), Judgement::Fail,
         L"at the client's frame window"},
        {"WM_SYSKEYDOWN", with(1, Key(kWmSysKeyDown, kVkL, 0x00190001u)), Judgement::Fail, L"WM_SYSKEYDOWN"},
        {"right Windows key", with(0, Key(kWmKeyDown, 0x5C, 0x015C0001u)), Judgement::Fail, L"key 0x5C"},
        {"posted twice", extra, Judgement::Fail, L"more than the four keys of Win+L arrived: key 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const StepVerdict verdict = JudgeWinL(c.keys, Scans());
        EXPECT_EQ(verdict.judgement, c.judgement) << Narrow(verdict.text);
        EXPECT_TRUE(Contains(verdict.text, c.text)) << Narrow(verdict.text);
    }
}

TEST(SmokeJudgeCtrlAltEnd, StrictAboutOrderScanAndExtendedLenientAboutSysKeys)
{
    // As Windows delivers keybd_event's keys to the window with the focus:
    // with Alt held, some as WM_SYSKEY*, and with bit 29 (Alt down) set.
    const std::vector<KeyRecord> windows = {
        Key(kWmSysKeyDown, kVkMenu, 0x20380001u),  Key(kWmKeyDown, kVkControl, 0x001D0001u),
        Key(kWmKeyDown, kVkEnd, 0x014F0001u),      Key(kWmKeyUp, kVkEnd, 0xC14F0001u),
        Key(kWmKeyUp, kVkControl, 0xC01D0001u),    Key(kWmSysKeyUp, kVkMenu, 0xC0380001u),
    };
    std::vector<KeyRecord> allSys = windows;
    for (KeyRecord& key : allSys) {
        key.message = (key.lParam & 0x80000000u) != 0 ? kWmSysKeyUp : kWmSysKeyDown;
    }
    const auto with = [&](std::size_t index, const KeyRecord& key) {
        std::vector<KeyRecord> keys = windows;
        keys[index] = key;
        return keys;
    };
    std::vector<KeyRecord> endBeforeCtrl = windows;
    std::swap(endBeforeCtrl[1], endBeforeCtrl[2]);
    std::vector<KeyRecord> extra = windows;
    extra.push_back(windows[0]);
    struct Case {
        const char* what;
        std::vector<KeyRecord> keys;
        Judgement judgement;
        const wchar_t* text;
    } const cases[] = {
        {"as Windows delivers them", windows, Judgement::Pass, L"End while Ctrl and Alt were held"},
        {"every one a WM_SYSKEY*", allSys, Judgement::Pass, L"Ctrl+Alt+End"},
        {"five so far", std::vector<KeyRecord>(windows.begin(), windows.end() - 1), Judgement::Waiting,
         L"5 key events of the six"},
        {"End before Ctrl", endBeforeCtrl, Judgement::Fail, L"key 2 should be a press of VK_CONTROL"},
        {"End not extended", with(2, Key(kWmKeyDown, kVkEnd, 0x004F0001u)), Judgement::Fail,
         L"the extended flag (bit 24) is missing"},
        {"Ctrl extended (the right Ctrl)", with(1, Key(kWmKeyDown, kVkControl, 0x011D0001u)), Judgement::Fail,
         L"the extended flag (bit 24) is set"},
        {"End released as a press", with(3, Key(kWmKeyDown, kVkEnd, 0x014F0001u)), Judgement::Fail,
         L"a press instead of a release"},
        {"a release message with a press's bits", with(3, Key(kWmKeyUp, kVkEnd, 0x014F0001u)), Judgement::Fail,
         L"transition bit"},
        {"another scan code", with(4, Key(kWmKeyUp, kVkControl, 0xC0E00001u)), Judgement::Fail,
         L"scan 0xE0 instead of 0x1D"},
        {"at the frame window", with(0, Key(kWmSysKeyDown, kVkMenu, 0x20380001u, false)), Judgement::Fail,
         L"not the Input Capture Window"},
        {"Delete instead of End", with(2, Key(kWmKeyDown, 0x2E, 0x01530001u)), Judgement::Fail, L"another key"},
        {"one more", extra, Judgement::Fail, L"more than the six key events"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const StepVerdict verdict = JudgeCtrlAltEnd(c.keys, Scans());
        EXPECT_EQ(verdict.judgement, c.judgement) << Narrow(verdict.text);
        EXPECT_TRUE(Contains(verdict.text, c.text)) << Narrow(verdict.text);
    }
}

TEST(SmokeJudgeHotkey, PassesOnlyAnAgentThatTheServiceStartsThroughAnEventThatCanBeSet)
{
    const auto reading = [](const wchar_t* command) {
        HotkeyReading hotkey;
        hotkey.name = L"LWin+L";
        hotkey.configRead = true;
        hotkey.command = command;
        hotkey.eventOpened = true;
        return hotkey;
    };
    HotkeyReading missing = reading(L"");
    missing.configRead = false;
    missing.configError = 2;
    HotkeyReading wrongType = missing;
    wrongType.configError = 1610;
    HotkeyReading blocked = reading(L"\"C:\\T\\TarnwickAgent.exe\"");
    blocked.block = 1;
    HotkeyReading noEvent = reading(L"\"C:\\T\\TarnwickAgent.exe\"");
    noEvent.eventOpened = false;
    noEvent.eventError = 2;
    HotkeyReading notElevated = noEvent;
    notElevated.eventError = 5;
    struct Case {
        const char* what;
        HotkeyReading hotkey;
        bool pass;
        const wchar_t* text;
    } const cases[] = {
        {"quoted agent", reading(L"\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\""), true,
         L"runs the agent (\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\"), and its event "
         L"\"ZQKBFiltrLWin+L\" can be set"},
        {"agent without blanks, unquoted, other case", reading(L"C:\\Tarnwick\\tarnwickagent.EXE"), true, L"agent"},
        {"not configured", missing, false,
         L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\LWin+L does not exist"},
        {"run unusable", wrongType, false, L"not REG_SZ"},
        {"run empty", reading(L""), false, L"empty \"run\""},
        {"another program", reading(L"\"C:\\T\\probe.exe\" x"), false, L"runs C:\\T\\probe.exe, not the agent"},
        {"unquoted path with blanks", reading(L"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe"), false,
         L"not quoted"},
        {"blocked", blocked, false, L"\"Block\" = 1"},
        {"no event", noEvent, false, L"no event \"ZQKBFiltrLWin+L\""},
        {"not elevated", notElevated, false, L"error 5 (ERROR_ACCESS_DENIED): run TarnwickSmoke from an elevated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const StepVerdict verdict = JudgeHotkey(c.hotkey);
        EXPECT_EQ(verdict.judgement, c.pass ? Judgement::Pass : Judgement::Fail) << Narrow(verdict.text);
        EXPECT_TRUE(Contains(verdict.text, c.text)) << Narrow(verdict.text);
    }
}

TEST(SmokeJudgeService, PassesOnlyARunningService)
{
    ServiceReading running;
    running.name = L"TarnwickSvc";
    running.managerOpened = running.installed = running.statusRead = true;
    running.state = 4;
    ServiceReading noManager = running;
    noManager.managerOpened = false;
    noManager.error = 5;
    ServiceReading absent = running;
    absent.installed = false;
    absent.error = 1060;
    ServiceReading refused = running;
    refused.state = 1;
    refused.exitCode = 1610;
    struct Case {
        const char* what;
        ServiceReading service;
        bool pass;
        const wchar_t* text;
    } const cases[] = {
        {"running", running, true, L"the service TarnwickSvc is running"},
        {"no service manager", noManager, false, L"service manager cannot be opened: error 5"},
        {"not installed", absent, false, L"TarnwickSvc is not installed"},
        {"stopped at its start", refused, false,
         L"is stopped, not running; its last exit code is 1610 (ERROR_BAD_CONFIGURATION: the hotkey configuration "
         L"cannot be used); start it with `sc start TarnwickSvc`"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const StepVerdict verdict = JudgeService(c.service);
        EXPECT_EQ(verdict.judgement, c.pass ? Judgement::Pass : Judgement::Fail) << Narrow(verdict.text);
        EXPECT_TRUE(Contains(verdict.text, c.text)) << Narrow(verdict.text);
    }
}

}  // namespace
