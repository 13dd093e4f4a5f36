#include "tools/check/check_rules.h"
#include "tools/check/check_text.h"
#include "tools/check/command_line_program.h"

#include "tests/support/narrow_text.h"
#include "tools/registry_values.h"
#include "tests/support/text_contains.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <cwchar>

namespace {

const CheckLimits kLimits{127, 519, 63};
const std::wstring kAgent = L"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe";

StoredValue Stored(std::uint32_t type, std::vector<std::uint8_t> data)
{
    StoredValue value;
    value.present = true;
    value.type = type;
    value.data = std::move(data);
    return value;
}

StoredValue StoredString(const std::wstring& text)
{
    std::vector<std::uint8_t> data;
    std::wstring error;
    EncodeValueData(kTypeSz, text, data, error);
    return Stored(kTypeSz, data);
}

// A hotkey that the service reads, with "run" = `command`, and every
// program candidate found unless `found` says otherwise.
HotkeyFacts Loaded(const std::wstring& name, const std::wstring& command, std::vector<bool> found = {})
{
    HotkeyFacts facts;
    facts.name = name;
    facts.configRead = true;
    facts.command = command;
    facts.subkeyOpened = true;
    facts.run = StoredString(command);
    facts.programFound = found.empty() ? std::vector<bool>(ListProgramCandidates(command).candidates.size(), true) : found;
    facts.searchedFolder = L"C:\\Program Files\\Tarnwick";
    return facts;
}

// The findings but the warning that a program other than the agent runs as
// LocalSystem on the user's desktop (tested on its own).
std::vector<Finding> ButTheDesktopWarning(std::vector<Finding> findings)
{
    findings.erase(std::remove_if(findings.begin(), findings.end(),
                                  [](const Finding& f) { return Contains(f.text, L" is not the agent: "); }),
                   findings.end());
    return findings;
}

TEST(CheckProgram, CandidatesAreThePrefixesWindowsTriesAndTheIntendedOneIsTheProgramFile)
{
    struct Case {
        std::wstring command;
        bool quoted;
        std::vector<std::wstring> candidates;
        std::vector<bool> found;
        size_t intended;
    } const cases[] = {
        {L"\"C:\\a b\\x.exe\" -q", true, {L"C:\\a b\\x.exe"}, {}, 0},
        {L"\"C:\\a b\\x.exe", true, {L"C:\\a b\\x.exe"}, {}, 0},  // no closing quote
        {L"notepad.exe", false, {L"notepad.exe"}, {}, 0},
        {L"C:\\Tools\\x.exe --log C:\\a.exe",
         false,
         {L"C:\\Tools\\x.exe", L"C:\\Tools\\x.exe --log", L"C:\\Tools\\x.exe --log C:\\a.exe"},
         {},
         0},
        {L"C:\\Program Files\\T\\A.EXE LWin",
         false,
         {L"C:\\Program", L"C:\\Program Files\\T\\A.EXE", L"C:\\Program Files\\T\\A.EXE LWin"},
         {},
         1},
        {L"C:\\a  b\\run.cmd", false, {L"C:\\a", L"C:\\a  b\\run.cmd"}, {}, 1},
        // No executable extension: the last candidate that exists.
        {L"C:\\My Tools\\tool -x",
         false,
         {L"C:\\My", L"C:\\My Tools\\tool", L"C:\\My Tools\\tool -x"},
         {true, true, false},
         1},
        {L"C:\\My Tools\\tool", false, {L"C:\\My", L"C:\\My Tools\\tool"}, {false, false}, 0},
    };
    for (const Case& c : cases) {
        const CommandProgram program = ListProgramCandidates(c.command);
        EXPECT_EQ(program.quoted, c.quoted);
        EXPECT_EQ(program.candidates, c.candidates);
        EXPECT_EQ(PickIntendedCandidate(program, c.found), c.intended);
    }
    EXPECT_TRUE(IsAbsolutePath(L"c:\\x"));
    EXPECT_TRUE(IsAbsolutePath(L"\\\\server\\share\\x.exe"));
    EXPECT_FALSE(IsAbsolutePath(L"x.exe"));
    EXPECT_FALSE(IsAbsolutePath(L"\\x.exe"));
    EXPECT_FALSE(IsAbsolutePath(L"C:x.exe"));
    EXPECT_EQ(AddDefaultExtension(L"C:\\Program"), L"C:\\Program.exe");
    EXPECT_EQ(AddDefaultExtension(L"C:\\a.b\\x"), L"C:\\a.b\\x.exe");
    EXPECT_EQ(AddDefaultExtension(L"C:\\a\\x.cmd"), L"C:\\a\\x.cmd");
}

TEST(CheckSettings, ReadAsTheProgramsReadThem)
{
    struct Case {
        StoredValue stored;
        bool read;
        std::uint32_t value;
    } const cases[] = {
        {Stored(kTypeDword, {1, 0, 0, 0}), true, 1},
        {StoredString(L"1"), true, 49},       // '1', 0, 0, 0
        {Stored(kTypeBinary, {1}), true, 1},  // fills the low byte
        {Stored(kTypeBinary, {}), true, 0},
        {Stored(kTypeQword, {1, 0, 0, 0, 0, 0, 0, 0}), false, 0},  // too long: counts as 0
        {StoredValue{}, false, 0},
    };
    for (const Case& c : cases) {
        const SettingReading reading = ReadSetting(c.stored);
        EXPECT_EQ(reading.read, c.read);
        EXPECT_EQ(reading.value, c.value);
    }
}

TEST(CheckFindings, ACleanAgentConfigurationHasNone)
{
    for (const wchar_t* name : {L"LWin+L", L"rwin+l", L"CTRL+ALT+DEL"}) {
        HotkeyFacts facts = Loaded(name, L"\"" + kAgent + L"\"");
        facts.blockLocal = Stored(kTypeDword, {1, 0, 0, 0});
        facts.blockValue = Stored(kTypeDword, {0, 0, 0, 0});
        EXPECT_EQ(FormatFindingLines(CheckHotkeyReading(facts, kLimits)), L"");
    }
    EXPECT_EQ(FormatFindingLines(ButTheDesktopWarning(CheckHotkeyReading(Loaded(L"Some key", L"notepad.exe"), kLimits))),
              L"warning: hotkey \"Some key\": the name holds a blank, so the started program receives it as several "
              L"arguments\n");
}

// Whatever a hotkey starts runs as LocalSystem on the console user's
// desktop; only the agent is known to show nothing there.
TEST(CheckFindings, EveryProgramButTheAgentIsWarnedAboutForRunningAsLocalSystemOnTheDesktop)
{
    HotkeyFacts blocked = Loaded(L"K", L"C:\\Tools\\tool.exe");
    blocked.block = 1;
    struct Case {
        HotkeyFacts facts;
        const wchar_t* program;  // named in the warning; null: no warning
    } const cases[] = {
        {Loaded(L"LWin+L", L"\"" + kAgent + L"\""), nullptr},
        {Loaded(L"LWin+L", L"\"C:\\Other\\TARNWICKAGENT.EXE\""), nullptr},
        {Loaded(L"K", L""), nullptr},
        {Loaded(L"K", L"notepad.exe C:\\x.txt"), L"notepad.exe"},
        {Loaded(L"K", L"\"C:\\Program Files\\App\\app.exe\" -x"), L"C:\\Program Files\\App\\app.exe"},
        {Loaded(L"LWin+L", L"C:\\Tools\\TarnwickAgent.exe.bak"), L"C:\\Tools\\TarnwickAgent.exe.bak"},
        {blocked, L"C:\\Tools\\tool.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(*c.facts.command));
        const std::wstring lines = FormatFindingLines(CheckHotkeyReading(c.facts, kLimits));
        const std::wstring warning =
            L"warning: hotkey \"" + c.facts.name + L"\", value \"run\": the program " +
            (c.program != nullptr ? c.program : L"") +
            L" is not the agent: the service starts it as LocalSystem on the desktop of the user at the console, "
            L"and any window it shows hands that user LocalSystem's rights (a file dialog is enough to start any "
            L"program); let \"run\" start only programs that show no window\n";
        if (c.program != nullptr) {
            EXPECT_TRUE(Contains(lines, warning)) << Narrow(lines);
        } else {
            EXPECT_FALSE(Contains(lines, L"is not the agent")) << Narrow(lines);
        }
    }
}

// Who may change a program that runs as LocalSystem, from what was read of
// the program and its folders.
ProgramProtection Protection(const std::wstring& program, std::vector<PathSecurity> steps)
{
    ProgramProtection protection;
    protection.program = program;
    protection.steps = std::move(steps);
    protection.names[L"S-1-5-11"] = L"NT AUTHORITY\\Authenticated Users";
    return protection;
}

Writer Writes(const std::wstring& sid, std::uint32_t rights)
{
    Writer writer;
    writer.sid = sid;
    writer.rights = rights;
    return writer;
}

TEST(CheckFindings, AProgramThatOthersMayChangeIsWarnedAboutWithWhatToDo)
{
    const std::wstring program = L"C:\\Tools\\Tarnwick\\TarnwickSvc.exe";
    const std::wstring folder = L"C:\\Tools\\Tarnwick";
    const Writer modify = Writes(L"S-1-5-11", file_rights::kWriteData | file_rights::kDelete);
    const auto steps = [&](std::vector<Writer> programWriters, std::vector<Writer> folderWriters,
                           std::vector<Writer> aboveWriters, std::uint32_t aboveError) {
        return std::vector<PathSecurity>{{program, PathRole::Program, 0, programWriters},
                                         {folder, PathRole::Folder, 0, folderWriters},
                                         {L"C:\\Tools", PathRole::FolderAbove, aboveError, aboveWriters},
                                         {L"C:\\", PathRole::Root, 0, {}}};
    };
    const std::wstring icacls = L"icacls \"" + folder + L"\" /setowner *S-1-5-32-544 /T /C & icacls \"" + folder +
                                L"\" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F "
                                L"*S-1-5-32-545:(OI)(CI)RX /remove:g *S-1-5-11 & icacls \"" + folder +
                                L"\\*\" /reset /T /C";
    const std::wstring danger = L"The service runs it as LocalSystem, and Windows looks in the program's folder "
                                L"first for the DLLs it loads: whoever may change the program or its folder, or "
                                L"rename a folder above them, can run code as LocalSystem at the service's next "
                                L"start. Let only SYSTEM, Administrators and TrustedInstaller change them: install "
                                L"Tarnwick with its package, into C:\\Program Files\\Tarnwick";
    struct Case {
        const char* what;
        std::vector<PathSecurity> steps;
        const wchar_t* text;  // null: no finding
    } const cases[] = {
        {"protected", steps({}, {}, {}, 0), nullptr},
        {"the folder", steps({}, {modify}, {}, 0), L""},
        {"a folder above", steps({}, {}, {modify}, 0), L""},
        {"a folder above cannot be read", steps({}, {}, {}, 5), L""},
    };
    const std::wstring expected[] = {
        L"",
        L"warning: the service's program " + program + L" is not protected: " + folder +
            L": NT AUTHORITY\\Authenticated Users (S-1-5-11) may create files in it, delete or rename it. " + danger +
            L", or run from an elevated prompt: " + icacls,
        L"warning: the service's program " + program + L" is not protected: C:\\Tools: NT AUTHORITY\\Authenticated "
            L"Users (S-1-5-11) may delete or rename it. " + danger +
            L", or take the rights named away on the folders above it",
        L"warning: whether others than SYSTEM, Administrators and TrustedInstaller may change the service's program " +
            program + L" cannot be told: C:\\Tools: its owner and access list cannot be read (error 5 "
            L"(ERROR_ACCESS_DENIED)); TarnwickCtl reads with the rights of whoever runs it: run it from an elevated "
            L"prompt to read them",
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(cases[i].what);
        const std::optional<Finding> finding = CheckServiceProgram(Protection(program, cases[i].steps));
        ASSERT_EQ(finding.has_value(), cases[i].text != nullptr);
        if (finding) {
            EXPECT_FALSE(finding->hotkey);
            EXPECT_FALSE(finding->value);
            EXPECT_EQ(FormatFindingLine(*finding), expected[i]);
        }
    }
    EXPECT_EQ(FindRegisteredProgram(L"\"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe\""),
              L"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe");
    EXPECT_EQ(FindRegisteredProgram(L"C:\\Tarnwick\\TarnwickSvc"), L"C:\\Tarnwick\\TarnwickSvc.exe");

    // The program of a hotkey: a warning of that hotkey and "run", with its
    // own folder to protect; none for a program no one else may change.
    HotkeyFacts facts = Loaded(L"LWin+L", L"\"" + program + L"\"");
    facts.protection = Protection(program, steps({Writes(L"S-1-1-0", file_rights::kWriteData)}, {}, {}, 0));
    const std::wstring lines = FormatFindingLines(CheckHotkeyReading(facts, kLimits));
    EXPECT_TRUE(Contains(lines, L"warning: hotkey \"LWin+L\", value \"run\": the program " + program +
                                    L" is not protected: " + program + L": S-1-1-0 may write it. The service starts it "
                                    L"as LocalSystem, and Windows"))
        << Narrow(lines);
    EXPECT_TRUE(Contains(lines, L"at the next press of the hotkey. Let only SYSTEM, Administrators and "
                                L"TrustedInstaller change them: put the program into a folder that only they may "
                                L"change, as C:\\Program Files is, or run from an elevated prompt: icacls \"" +
                                    folder + L"\" /setowner"))
        << Narrow(lines);
    facts.protection = Protection(program, steps({}, {}, {}, 0));
    EXPECT_FALSE(Contains(FormatFindingLines(CheckHotkeyReading(facts, kLimits)), L"protected")) << Narrow(lines);
}

TEST(CheckFindings, EachWarningNamesTheHotkeyAndTheValue)
{
    struct Case {
        HotkeyFacts facts;
        const wchar_t* line;  // the one finding expected
    };
    HotkeyFacts blockString = Loaded(L"LWin+L", L"\"" + kAgent + L"\"");
    blockString.blockValue = StoredString(L"1");
    blockString.block = 49;
    HotkeyFacts blockQword = Loaded(L"K", L"x.exe");
    blockQword.blockValue = Stored(kTypeQword, {1, 0, 0, 0, 0, 0, 0, 0});
    HotkeyFacts blockBinary = Loaded(L"K", L"x.exe");
    blockBinary.blockValue = Stored(kTypeBinary, {2, 0});
    HotkeyFacts blockLocalString = Loaded(L"LWin+L", L"\"" + kAgent + L"\"");
    blockLocalString.blockLocal = StoredString(L"1");
    HotkeyFacts blockedAgent = Loaded(L"LWin+L", L"\"" + kAgent + L"\"");
    blockedAgent.block = 1;
    blockedAgent.blockValue = Stored(kTypeDword, {1, 0, 0, 0});
    HotkeyFacts blockedOther = Loaded(L"K", L"x.exe");
    blockedOther.block = 1;
    blockedOther.blockValue = Stored(kTypeDword, {1, 0, 0, 0});

    const Case cases[] = {
        {Loaded(L"LWin+L", kAgent),
         L"warning: hotkey \"LWin+L\", value \"run\": the program path C:\\Program Files\\Tarnwick\\TarnwickAgent.exe "
         L"holds blanks and is not quoted: Windows first looks for C:\\Program.exe and would start whatever it finds "
         L"there as LocalSystem, and the agent would receive \"Files\\Tarnwick\\TarnwickAgent.exe LWin+L\" as its "
         L"hotkey name instead of \"LWin+L\" and do nothing; quote the path: "
         L"\"C:\\Program Files\\Tarnwick\\TarnwickAgent.exe\""},
        {Loaded(L"K", L"C:\\Program Files\\App\\app.exe -x"),
         L"warning: hotkey \"K\", value \"run\": the program path C:\\Program Files\\App\\app.exe holds blanks and is "
         L"not quoted: Windows first looks for C:\\Program.exe and would start whatever it finds there as "
         L"LocalSystem; quote the path: \"C:\\Program Files\\App\\app.exe\""},
        {Loaded(L"K", L"C:\\Tools\\gone.exe -x", {false, false}),
         L"warning: hotkey \"K\", value \"run\": the program C:\\Tools\\gone.exe does not exist"},
        {Loaded(L"K", L"\"C:\\Tools\\gone\"", {false}),
         L"warning: hotkey \"K\", value \"run\": the program C:\\Tools\\gone.exe does not exist"},
        {Loaded(L"K", L"\"helper.exe\"", {false}),
         L"warning: hotkey \"K\", value \"run\": the program helper.exe is found neither in "
         L"C:\\Program Files\\Tarnwick nor on the system's search path"},
        {Loaded(L"Win+L", L"\"" + kAgent + L"\""),
         L"warning: hotkey \"Win+L\": the agent acts only on the hotkey names LWin+L, RWin+L and ctrl+alt+del (in "
         L"any letter case), not on \"Win+L\": a press does nothing"},
        {Loaded(L"LWin+L", L"\"" + kAgent + L"\" --quiet"),
         L"warning: hotkey \"LWin+L\", value \"run\": the agent receives \"--quiet LWin+L\" as its hotkey name (what "
         L"follows its program path) and acts only on LWin+L, RWin+L and ctrl+alt+del: a press does nothing; leave "
         L"nothing after the agent's path in \"run\""},
        {Loaded(L"LWin +L", L"TarnwickAgent.exe"),
         L"warning: hotkey \"LWin +L\": the agent acts only on the hotkey names LWin+L, RWin+L and ctrl+alt+del (in "
         L"any letter case), not on \"LWin +L\": a press does nothing"},
        {Loaded(L"Tab\tKey", L"x.exe"),
         L"warning: hotkey \"Tab\\x09Key\": the name holds a blank, so the started program receives it as several "
         L"arguments"},
        {blockString,
         L"warning: hotkey \"LWin+L\", value \"Block\": \"Block\" is REG_SZ \"1\", not a 4-byte number (REG_DWORD): "
         L"the service reads it as 49, so the hotkey is not blocked"},
        {blockQword,
         L"warning: hotkey \"K\", value \"Block\": \"Block\" is REG_QWORD 1 (0x0000000000000001), not a 4-byte "
         L"number (REG_DWORD): it is longer than 4 bytes, so the service counts it as 0 and the hotkey is not "
         L"blocked"},
        {blockBinary,
         L"warning: hotkey \"K\", value \"Block\": \"Block\" is REG_BINARY hex: 02 00, not a 4-byte number "
         L"(REG_DWORD): the service reads it as 2, so the hotkey is not blocked"},
        {blockLocalString,
         L"warning: hotkey \"LWin+L\", value \"BlockLocal\": \"BlockLocal\" is REG_SZ \"1\", not a 4-byte number "
         L"(REG_DWORD): the agent reads it as 49, so the local action is not blocked"},
        {blockedAgent,
         L"info: hotkey \"LWin+L\", value \"Block\": \"Block\" is 1: the service starts nothing for this hotkey, so "
         L"the key does nothing at all, neither in a remote-desktop client nor locally"},
        {blockedOther,
         L"info: hotkey \"K\", value \"Block\": \"Block\" is 1: the service starts nothing for this hotkey"},
        {Loaded(L"K", L""), L"info: hotkey \"K\", value \"run\": \"run\" is empty: the hotkey starts nothing"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatFindingLines(ButTheDesktopWarning(CheckHotkeyReading(c.facts, kLimits))), std::wstring(c.line) + L"\n");
    }
}

HotkeyFacts Refused(const std::wstring& name, std::uint32_t error)
{
    HotkeyFacts facts;
    facts.name = name;
    facts.configError = error;
    facts.subkeyOpened = true;
    return facts;
}

TEST(CheckFindings, EachErrorSaysWhatKeepsTheServiceFromLoadingTheHotkey)
{
    HotkeyFacts noRun = Refused(L"K", 1610);
    HotkeyFacts expandRun = Refused(L"K", 1610);
    expandRun.run = Stored(kTypeExpandSz, {'x', 0, 0, 0});
    HotkeyFacts longRun = Refused(L"K", 1610);
    longRun.run = StoredString(std::wstring(520, L'x'));
    HotkeyFacts closed = Refused(L"K", 5);
    closed.subkeyOpened = false;
    closed.subkeyError = 5;
    HotkeyFacts longName = Refused(std::wstring(128, L'n'), 1610);
    longName.runFault = 1610;
    longName.run = Stored(kTypeDword, {1, 0, 0, 0});
    HotkeyFacts odd = Refused(L"K", 1234);
    odd.run = StoredString(L"x.exe");
    HotkeyFacts marker = Refused(L"winLOGON", 1610);
    marker.run = StoredString(L"x.exe");
    HotkeyFacts markerWithoutRun = Refused(L"WinLogon", 1610);
    markerWithoutRun.runFault = 1610;

    struct Case {
        HotkeyFacts facts;
        std::wstring lines;
    } const cases[] = {
        {noRun,
         L"error: hotkey \"K\", value \"run\": there is no \"run\" value; every hotkey needs one, of type REG_SZ\n"},
        {expandRun, L"error: hotkey \"K\", value \"run\": \"run\" is REG_EXPAND_SZ; the service takes only REG_SZ\n"},
        {longRun, L"error: hotkey \"K\", value \"run\": \"run\" has 520 characters; the service takes at most 519\n"},
        {closed,
         L"error: hotkey \"K\": the subkey cannot be opened: error 5 (ERROR_ACCESS_DENIED); TarnwickCtl reads "
         L"with the rights of whoever runs it: run it from an elevated prompt to read what the service reads\n"},
        {longName, L"error: hotkey \"" + longName.name +
                       L"\": the name has 128 characters; the service takes names of "
                       L"at most 127\nerror: hotkey \"" +
                       longName.name +
                       L"\", value \"run\": \"run\" is REG_DWORD; the "
                       L"service takes only REG_SZ\n"},
        {odd, L"error: hotkey \"K\", value \"run\": \"run\" cannot be read: error 1234\n"},
        {marker, L"error: hotkey \"winLOGON\": the hotkey's event would be \"ZQKBFiltrwinLOGON\", the name of the "
                 L"service's logon marker (names of events ignore letter case): the service refuses the name; give "
                 L"the hotkey another one\n"},
        {markerWithoutRun,
         L"error: hotkey \"WinLogon\": the hotkey's event would be \"ZQKBFiltrWinLogon\", the name of the service's "
         L"logon marker (names of events ignore letter case): the service refuses the name; give the hotkey "
         L"another one\nerror: hotkey \"WinLogon\", value \"run\": there is no \"run\" value; every hotkey needs "
         L"one, of type REG_SZ\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatFindingLines(CheckHotkeyReading(c.facts, kLimits)), c.lines);
    }
}

KeyFacts Names(std::vector<std::wstring> names)
{
    KeyFacts key;
    key.namesRead = true;
    key.keyOpened = true;
    key.subkeyCount = static_cast<std::uint32_t>(names.size());
    key.names = std::move(names);
    return key;
}

TEST(DescribeVerdict, TheFirstFaultInTableOrderGivesTheExitCodeAndEveryProblemIsReported)
{
    const HotkeyFacts good = Loaded(L"LWin+L", L"\"" + kAgent + L"\"");
    HotkeyFacts closed = Refused(L"B", 5);
    closed.subkeyOpened = false;
    closed.subkeyError = 5;
    const HotkeyFacts noRun = Refused(L"C", 1610);
    CheckResult result = EvaluateCheck(Names({L"LWin+L", L"B", L"C"}), {good, closed, noRun}, kLimits);
    EXPECT_FALSE(result.wouldStart);
    EXPECT_EQ(result.exitCode, 5u);
    ASSERT_EQ(result.findings.size(), 2u);
    EXPECT_EQ(*result.findings[0].hotkey, L"B");
    EXPECT_EQ(*result.findings[1].hotkey, L"C");
    EXPECT_EQ(DescribeVerdict(result, L"ERROR_ACCESS_DENIED: a key of the hotkey configuration cannot be read"),
              L"the service would refuse to start: exit code 5 (ERROR_ACCESS_DENIED: a key of the hotkey "
              L"configuration cannot be read)");

    result = EvaluateCheck(Names({L"LWin+L", L"K"}), {good, Loaded(L"K", L"")}, kLimits);
    EXPECT_TRUE(result.wouldStart);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(RenderCheckText(result, L""),
              L"info: hotkey \"K\", value \"run\": \"run\" is empty: the hotkey starts nothing\n"
              L"the service would start with 2 hotkeys: LWin+L, K\n");
    EXPECT_EQ(DescribeVerdict(EvaluateCheck(Names({L"LWin+L"}), {good}, kLimits), L""),
              L"the service would start with 1 hotkey: LWin+L");
}

TEST(DescribeVerdict, FaultsOfTheHotkeyKeyItself)
{
    KeyFacts missing;
    missing.namesError = 2;
    missing.keyError = 2;
    KeyFacts denied;
    denied.namesError = 5;
    denied.keyError = 5;
    KeyFacts empty = Names({});
    empty.namesRead = false;
    empty.namesError = 1610;
    KeyFacts tooMany = Names(std::vector<std::wstring>(64, L"k"));
    tooMany.namesRead = false;
    tooMany.namesError = 1610;
    KeyFacts unreadable = Names({L"a"});
    unreadable.namesRead = false;
    unreadable.namesError = 1610;
    unreadable.subkeyCount = 2;

    struct Case {
        KeyFacts key;
        std::uint32_t exitCode;
        const wchar_t* text;
    } const cases[] = {
        {missing, 2, L"does not exist; create it with one subkey per hotkey"},
        {denied, 5, L"cannot be opened: error 5 (ERROR_ACCESS_DENIED); TarnwickCtl reads"},
        {empty, 1610, L"has no subkeys; the service needs at least one hotkey"},
        {tooMany, 1610, L"the hotkey key has 64 subkeys; the service takes at most 63 hotkeys"},
        {unreadable, 1610,
         L"1 of the 2 subkeys of the hotkey key cannot be enumerated (a name of 255 characters or more)"},
    };
    for (const Case& c : cases) {
        const CheckResult result = EvaluateCheck(c.key, {}, kLimits);
        EXPECT_FALSE(result.wouldStart);
        EXPECT_EQ(result.exitCode, c.exitCode);
        ASSERT_EQ(result.findings.size(), 1u) << c.text;
        EXPECT_EQ(result.findings[0].severity, Severity::Error);
        EXPECT_FALSE(result.findings[0].hotkey);
        EXPECT_TRUE(Contains(result.findings[0].text, c.text)) << result.findings[0].text;
    }
}

TEST(CheckOutput, JsonHoldsTheVerdictTheHotkeysAndTheFindings)
{
    HotkeyFacts quoted = Loaded(L"Zitat\"\u00e4", L"");
    const CheckResult result = EvaluateCheck(Names({L"Zitat\"\u00e4"}), {quoted}, kLimits);
    EXPECT_EQ(RenderCheckJson(result),
              L"{\"wouldStart\":true,\"exitCode\":0,\"hotkeys\":[\"Zitat\\\"\\u00e4\"],\"findings\":[{\"hotkey\":"
              L"\"Zitat\\\"\\u00e4\",\"value\":\"run\",\"severity\":\"info\",\"text\":\"\\\"run\\\" is empty: the "
              L"hotkey starts nothing\"}]}\n");
    KeyFacts missing;
    missing.namesError = 2;
    missing.keyError = 2;
    EXPECT_TRUE(
        Contains(RenderCheckJson(EvaluateCheck(missing, {}, kLimits)),
                 L"{\"wouldStart\":false,\"exitCode\":2,\"hotkeys\":[],\"findings\":[{\"hotkey\":null,"
                 L"\"value\":null,\"severity\":\"error\",\"text\":\"the hotkey key HKEY_LOCAL_MACHINE\\\\SYSTEM"));
}

// The machine policy that lets the service bring up the secure screen for a
// local Ctrl+Alt+Del: a warning, with the command that lets services (and
// keeps what else the policy lets), whenever it does not.
TEST(CheckRules, AWarningWhenTheSoftwareSasPolicyDoesNotLetServices)
{
    const std::wstring command = L"reg add \"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\" "
                                 L"/v SoftwareSASGeneration /t REG_DWORD /d ";
    struct Case {
        StoredValue policy;
        std::uint32_t readError;
        const wchar_t* says;  // null: no finding
        const wchar_t* fix;   // the end of the command; null: none
    } const cases[] = {
        {Stored(kTypeDword, {1, 0, 0, 0}), 0, nullptr, nullptr},
        {Stored(kTypeDword, {3, 0, 0, 0}), 0, nullptr, nullptr},
        {StoredValue{}, 0, L"is not set", L"1 /f"},
        {Stored(kTypeDword, {0, 0, 0, 0}), 0, L"is REG_DWORD 0 (0x00000000):", L"1 /f"},
        {Stored(kTypeDword, {2, 0, 0, 0}), 0, L"is REG_DWORD 2 (0x00000002):", L"3 /f"},
        {StoredString(L"1"), 0, L"is REG_SZ \"1\", not a REG_DWORD", L"1 /f"},
        {Stored(kTypeQword, {1, 0, 0, 0, 0, 0, 0, 0}), 0, L"is REG_QWORD 1 (0x0000000000000001), not a REG_DWORD",
         L"1 /f"},
        {StoredValue{}, 5, L"cannot be read: error 5 (ERROR_ACCESS_DENIED)", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says != nullptr ? std::string(c.says, c.says + std::wcslen(c.says)) : "lets services");
        const std::optional<Finding> finding = CheckSoftwareSasPolicy(c.policy, c.readError);
        if (c.says == nullptr) {
            EXPECT_FALSE(finding);
            continue;
        }
        ASSERT_TRUE(finding);
        EXPECT_EQ(finding->severity, Severity::Warning);
        EXPECT_FALSE(finding->hotkey);
        EXPECT_EQ(finding->value, std::optional<std::wstring>(L"SoftwareSASGeneration"));
        EXPECT_TRUE(Contains(finding->text, L"the machine policy \"SoftwareSASGeneration\" under HKEY_LOCAL_MACHINE\\"
                                            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System " +
                                                std::wstring(c.says)))
            << std::string(finding->text.begin(), finding->text.end());
        EXPECT_TRUE(Contains(finding->text, L"a local Ctrl+Alt+Del press is sent as synthesised keys"));
        // The command that lets services, when the value could be read.
        EXPECT_EQ(Contains(finding->text, L"reg add"), c.fix != nullptr);
        if (c.fix != nullptr) {
            EXPECT_TRUE(Contains(finding->text, command + c.fix))
                << std::string(finding->text.begin(), finding->text.end());
        }
        EXPECT_EQ(FormatFindingLine(*finding).rfind(L"warning: value \"SoftwareSASGeneration\": the machine policy", 0), 0u);
    }
}

}  // namespace

namespace {

ClientPolicyValue PolicyValue(const std::wstring& name, const std::wstring& data, std::uint32_t type = kTypeSz)
{
    ClientPolicyValue value;
    value.name = name;
    value.stored = type == kTypeSz ? StoredString(data) : Stored(type, {1, 0, 0, 0});
    return value;
}

// Each client entry of the policy is named: used (information) or ignored
// (a warning of no hotkey, the value the entry's name), with why.
TEST(CheckFindings, EachClientEntryOfThePolicyIsUsedOrIgnoredWithWhy)
{
    const std::vector<ClientPolicyValue> entries = {
        PolicyValue(L"msrdc.exe", L"like=mstsc.exe"),
        PolicyValue(L"rdm.exe", L"like=mstsc.exe; class=Pane"),
        PolicyValue(L"horizon-client.exe", L"like=vmware-view.exe;text=Session"),
        PolicyValue(L"broken.exe", L"like mstsc.exe"),
        PolicyValue(L"unknown.exe", L"like=notepad.exe"),
        PolicyValue(L"both.exe", L"like=mstsc.exe;class=A;text=B"),
        PolicyValue(L"MSTSC.EXE", L"like=wfica32.exe"),
        PolicyValue(L"number.exe", L"", kTypeDword),
    };
    const std::wstring key = L"the client entry \"";
    const std::wstring of = L"\" of HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Tarnwick\\Clients is ignored: ";
    EXPECT_EQ(FormatFindingLines(CheckClientPolicy(entries)),
              L"info: value \"msrdc.exe\": msrdc.exe is handled like mstsc.exe\n"
              L"info: value \"rdm.exe\": rdm.exe is handled like mstsc.exe, its key window found by the class \"Pane\"\n"
              L"info: value \"horizon-client.exe\": horizon-client.exe is handled like vmware-view.exe, its key window "
              L"found by the text \"Session\"\n"
              L"warning: value \"broken.exe\": " + key + L"broken.exe" + of +
                  L"the data does not read like=NAME, optionally followed by ;class=CLASS or ;text=TEXT; with "
                  L"broken.exe in front a press is handled as for any other program\n"
                  L"warning: value \"unknown.exe\": " + key + L"unknown.exe" + of +
                  L"like names no built-in client (wfica32.exe, CDViewer.exe, vmware-view.exe, wswc.exe, mstsc.exe, "
                  L"qorvane.exe); with unknown.exe in front a press is handled as for any other program\n"
                  L"warning: value \"both.exe\": " + key + L"both.exe" + of +
                  L"it gives both class= and text=; give one of them; with both.exe in front a press is handled as "
                  L"for any other program\n"
                  L"warning: value \"MSTSC.EXE\": " + key + L"MSTSC.EXE" + of +
                  L"it is named after a built-in client, which keeps its own handling\n"
                  L"warning: value \"number.exe\": " + key + L"number.exe" + of +
                  L"it is REG_DWORD, not REG_SZ; with number.exe in front a press is handled as for any other "
                  L"program\n");
    EXPECT_TRUE(CheckClientPolicy({}).empty());
}

}  // namespace
