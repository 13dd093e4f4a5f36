#include "tools/smoke/smoke_rules.h"

#include "common/driver_config.h"
#include "common/error_names.h"
#include "common/names.h"
#include "tools/check/command_line_program.h"
#include "tools/status_report.h"

namespace {

constexpr std::uint32_t kExtendedBit = 0x01000000u;
constexpr std::uint32_t kReleaseBits = 0xC0000000u;  // previous key state and transition state
constexpr std::uint32_t kTransitionBit = 0x80000000u;

std::string HexNarrow(std::uint64_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

std::wstring Hex(std::uint64_t value, std::size_t width)
{
    std::string digits = HexNarrow(value);
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return L"0x" + std::wstring(digits.begin(), digits.end());
}

// A hexadecimal number, with or without "0x"; false for anything else or
// more than 16 digits.
bool ParseHex(const std::string& text, std::uint64_t& value)
{
    std::size_t at = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
    if (at == text.size() || text.size() - at > 16) {
        return false;
    }
    value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = (value << 4) | digit;
    }
    return true;
}

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (c == ' ') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// Parses the record line's words into `record`.
bool ParseRecord(const std::vector<std::string>& words, KeyRecord& record)
{
    std::uint64_t message = 0;
    std::uint64_t wParam = 0;
    std::uint64_t lParam = 0;
    if (words.size() != 4 || (words[0] != "capture" && words[0] != "frame") || !ParseHex(words[1], message) ||
        !ParseHex(words[2], wParam) || !ParseHex(words[3], lParam) || message > 0xFFFFFFFFu ||
        wParam > 0xFFFFFFFFu || lParam > 0xFFFFFFFFu) {
        return false;
    }
    record.atCaptureWindow = words[0] == "capture";
    record.message = static_cast<std::uint32_t>(message);
    record.wParam = static_cast<std::uint32_t>(wParam);
    record.lParam = static_cast<std::uint32_t>(lParam);
    return true;
}

std::wstring MessageName(std::uint32_t message)
{
    switch (message) {
    case kWmKeyDown:
        return L"WM_KEYDOWN";
    case kWmKeyUp:
        return L"WM_KEYUP";
    case kWmSysKeyDown:
        return L"WM_SYSKEYDOWN";
    case kWmSysKeyUp:
        return L"WM_SYSKEYUP";
    default:
        return L"message " + Hex(message, 4);
    }
}

std::wstring KeyName(std::uint32_t virtualKey)
{
    switch (virtualKey) {
    case kVkControl:
        return L"VK_CONTROL (0x11)";
    case kVkMenu:
        return L"VK_MENU (0x12)";
    case kVkEnd:
        return L"VK_END (0x23)";
    case kVkL:
        return L"L (0x4C)";
    case kVkLWin:
        return L"VK_LWIN (0x5B)";
    default:
        return L"key " + Hex(virtualKey, 2);
    }
}

std::uint32_t PostedLParam(std::uint8_t scan, bool extended, bool release)
{
    return 1u | (static_cast<std::uint32_t>(scan) << 16) | (extended ? kExtendedBit : 0u) |
           (release ? kReleaseBits : 0u);
}

KeyRecord Posted(std::uint32_t message, std::uint8_t virtualKey, std::uint8_t scan, bool extended)
{
    KeyRecord record;
    record.atCaptureWindow = true;
    record.message = message;
    record.wParam = virtualKey;
    record.lParam = PostedLParam(scan, extended, message == kWmKeyUp);
    return record;
}

std::wstring KeyNumber(std::size_t index)
{
    return L"key " + std::to_wstring(index + 1);
}

bool IsPress(std::uint32_t message)
{
    return message == kWmKeyDown || message == kWmSysKeyDown;
}

bool IsRelease(std::uint32_t message)
{
    return message == kWmKeyUp || message == kWmSysKeyUp;
}

struct ExpectedKey {
    std::uint8_t virtualKey;
    bool press;
    std::uint8_t scan;
    bool extended;
};

std::wstring DescribeExpected(const ExpectedKey& key)
{
    return std::wstring(key.press ? L"a press" : L"a release") + L" of " + KeyName(key.virtualKey) + L", scan " +
           Hex(key.scan, 2) + (key.extended ? L", extended" : L", not extended") + L", at the Input Capture Window";
}

// Why a synthesised key differs from the one expected; empty when it does
// not.
std::wstring SynthesisedDifference(const KeyRecord& got, const ExpectedKey& want)
{
    const std::uint32_t scan = (got.lParam >> 16) & 0xFF;
    const bool extended = (got.lParam & kExtendedBit) != 0;
    const bool transition = (got.lParam & kTransitionBit) != 0;
    if (!IsPress(got.message) && !IsRelease(got.message)) {
        return L"not a keystroke message";
    }
    if (got.wParam != want.virtualKey) {
        return L"another key";
    }
    if (IsPress(got.message) != want.press) {
        return want.press ? L"a release instead of a press" : L"a press instead of a release";
    }
    if (transition != !want.press) {
        return L"its transition bit (31) says the opposite of its message";
    }
    if (scan != want.scan) {
        return L"scan " + Hex(scan, 2) + L" instead of " + Hex(want.scan, 2);
    }
    if (extended != want.extended) {
        return want.extended ? L"the extended flag (bit 24) is missing" : L"the extended flag (bit 24) is set";
    }
    if (!got.atCaptureWindow) {
        return L"it reached the client's frame window, not the Input Capture Window, which has the keyboard focus";
    }
    return L"";
}

std::wstring Plural(std::size_t count, const wchar_t* one, const wchar_t* many)
{
    return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

}  // namespace

SmokeArgs ParseSmokeArgs(const std::vector<std::wstring>& args)
{
    SmokeArgs parsed;
    if (args.empty()) {
        return parsed;
    }
    const std::wstring& first = args[0];
    if (args.size() == 1 && (first == L"--help" || first == L"-h" || first == L"/?")) {
        parsed.mode = SmokeMode::Help;
        return parsed;
    }
    if (first == L"--service") {
        if (args.size() != 2 || args[1].empty()) {
            parsed.error = L"--service takes one service name";
        } else {
            parsed.service = args[1];
        }
        return parsed;
    }
    if (first == L"--client") {
        std::uint64_t parent = 0;
        const std::wstring number = args.size() == 3 ? args[2] : std::wstring();
        bool digits = !number.empty() && number.size() <= 10;
        for (const wchar_t c : number) {
            digits = digits && c >= L'0' && c <= L'9';
            parent = parent * 10 + static_cast<std::uint64_t>(c - L'0');
        }
        if (args.size() != 3 || args[1].empty() || !digits || parent > 0xFFFFFFFFu) {
            parsed.error = L"--client takes a record file and a process id";
        } else {
            parsed.mode = SmokeMode::Client;
            parsed.recordPath = args[1];
            parsed.parentId = static_cast<std::uint32_t>(parent);
        }
        return parsed;
    }
    parsed.error = L"unknown argument \"" + first + L"\"";
    return parsed;
}

std::wstring DescribeSmokeUsage()
{
    return L"Usage: TarnwickSmoke [--service NAME]\n"
           L"\n"
           L"Run it from an elevated command prompt on a PC where Tarnwick is installed and the\n"
           L"hotkeys LWin+L and ctrl+alt+del run TarnwickAgent.exe. It opens a window of its own\n"
           L"that the agent takes for Microsoft Remote Desktop (a copy of this program named\n"
           L"mstsc.exe in a new folder under %TEMP%), presses Win+L and Ctrl+Alt+Del the way the\n"
           L"driver does, and checks that the keys arrive in that window. It presses a hotkey only\n"
           L"while that window is in front, so it never locks the PC. It prints PASS or FAIL for\n"
           L"each step and exits with 0 when every step passed, 1 otherwise.\n"
           L"\n"
           L"  --service NAME   the service to check (default TarnwickSvc)\n";
}

bool operator==(const KeyRecord& a, const KeyRecord& b)
{
    return a.atCaptureWindow == b.atCaptureWindow && a.message == b.message && a.wParam == b.wParam &&
           a.lParam == b.lParam;
}

std::string FormatReadyLine(std::uint64_t frameWindow, std::uint64_t captureWindow)
{
    return "ready " + HexNarrow(frameWindow) + " " + HexNarrow(captureWindow) + "\r\n";
}

std::string FormatRecordLine(const KeyRecord& record)
{
    return std::string(record.atCaptureWindow ? "capture " : "frame ") + "0x" + HexNarrow(record.message) + " 0x" +
           HexNarrow(record.wParam) + " 0x" + HexNarrow(record.lParam) + "\r\n";
}

ClientLog ParseClientLog(const std::string& text)
{
    ClientLog log;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::vector<std::string> words = Words(line);
        KeyRecord record;
        if (words.size() == 3 && words[0] == "ready") {
            log.ready = ParseHex(words[1], log.frameWindow) && ParseHex(words[2], log.captureWindow);
        } else if (ParseRecord(words, record)) {
            log.keys.push_back(record);
        }
    }
    return log;
}

std::wstring DescribeKey(const KeyRecord& record)
{
    return MessageName(record.message) + L" " + KeyName(record.wParam) + L", scan " +
           Hex((record.lParam >> 16) & 0xFF, 2) + ((record.lParam & kExtendedBit) != 0 ? L", extended" : L"") +
           L", lParam " + Hex(record.lParam, 8) + L", at " +
           (record.atCaptureWindow ? L"the Input Capture Window" : L"the client's frame window");
}

StepVerdict JudgeWinL(const std::vector<KeyRecord>& keys, const LayoutScans& scans)
{
    const KeyRecord expected[] = {
        Posted(kWmKeyDown, kVkLWin, scans.lwin, true),
        Posted(kWmKeyDown, kVkL, scans.l, false),
        Posted(kWmKeyUp, kVkL, scans.l, false),
        Posted(kWmKeyUp, kVkLWin, scans.lwin, true),
    };
    const std::size_t count = sizeof(expected) / sizeof(expected[0]);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i == count) {
            return {Judgement::Fail, L"more than the four keys of Win+L arrived: " + KeyNumber(i) + L" is " +
                                         DescribeKey(keys[i])};
        }
        if (!(keys[i] == expected[i])) {
            return {Judgement::Fail, KeyNumber(i) + L" should be " + DescribeKey(expected[i]) + L"; it is " +
                                         DescribeKey(keys[i])};
        }
    }
    if (keys.size() < count) {
        return {Judgement::Waiting, Plural(keys.size(), L"key", L"keys") + L" of the four of Win+L arrived"};
    }
    return {Judgement::Pass, L"the Input Capture Window received Win+L as the agent posts it: VK_LWIN and L pressed "
                             L"and released, with the scan codes of this keyboard layout (" +
                                 Hex(scans.lwin, 2) + L", " + Hex(scans.l, 2) + L")"};
}

StepVerdict JudgeCtrlAltEnd(const std::vector<KeyRecord>& keys, const LayoutScans& scans)
{
    const ExpectedKey expected[] = {
        {kVkMenu, true, scans.menu, false},
        {kVkControl, true, scans.control, false},
        {kVkEnd, true, scans.end, true},
        {kVkEnd, false, scans.end, true},
        {kVkControl, false, scans.control, false},
        {kVkMenu, false, scans.menu, false},
    };
    const std::size_t count = sizeof(expected) / sizeof(expected[0]);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i == count) {
            return {Judgement::Fail, L"more than the six key events of Ctrl+Alt+End arrived: " + KeyNumber(i) +
                                         L" is " + DescribeKey(keys[i])};
        }
        const std::wstring difference = SynthesisedDifference(keys[i], expected[i]);
        if (!difference.empty()) {
            return {Judgement::Fail, KeyNumber(i) + L" should be " + DescribeExpected(expected[i]) + L"; it is " +
                                         DescribeKey(keys[i]) + L": " + difference};
        }
    }
    if (keys.size() < count) {
        return {Judgement::Waiting,
                Plural(keys.size(), L"key event", L"key events") + L" of the six of Ctrl+Alt+End arrived"};
    }
    return {Judgement::Pass, L"the Input Capture Window received Ctrl+Alt+End, the form in which Microsoft Remote "
                             L"Desktop takes Ctrl+Alt+Del: Alt, Ctrl and End (extended) pressed and released in "
                             L"order, End while Ctrl and Alt were held"};
}

StepVerdict JudgeService(const ServiceReading& service)
{
    const std::wstring& name = service.name;
    if (!service.managerOpened) {
        return {Judgement::Fail, L"the service manager cannot be opened: " + LabelError(service.error)};
    }
    if (!service.installed) {
        if (service.error == kErrorServiceDoesNotExist) {
            return {Judgement::Fail, L"the service " + name + L" is not installed: install the Tarnwick package"};
        }
        return {Judgement::Fail, L"the service " + name + L" cannot be opened: " + LabelError(service.error)};
    }
    if (!service.statusRead) {
        return {Judgement::Fail,
                L"the state of the service " + name + L" cannot be read: " + LabelError(service.error)};
    }
    if (service.state != kServiceRunning) {
        const std::wstring state = NameServiceState(service.state);
        // Its meaning, or its name: no system text in these rules.
        const std::wstring code =
            DescribeExitCode(service.exitCode, ComposeServiceExitCodeText(service.exitCode, std::wstring()));
        return {Judgement::Fail, L"the service " + name + L" is " +
                                     (state.empty() ? L"in state " + std::to_wstring(service.state) : state) +
                                     L", not running; its last exit code is " + code + L"; start it with `sc start " +
                                     name + L"`, and see `TarnwickCtl check` for why it would not start"};
    }
    return {Judgement::Pass, L"the service " + name + L" is running"};
}

StepVerdict JudgeHotkey(const HotkeyReading& hotkey)
{
    const std::wstring name = L"\"" + hotkey.name + L"\"";
    const std::wstring key = L"HKEY_LOCAL_MACHINE\\" + HotkeySubkeyPath(hotkey.name.c_str());
    if (!hotkey.configRead) {
        switch (hotkey.configError) {
        case kErrorFileNotFound:
            return {Judgement::Fail, L"the hotkey " + name + L" is not configured: " + key + L" does not exist"};
        case kErrorBadConfiguration:
            return {Judgement::Fail, L"the service cannot use the hotkey " + name +
                                         L": its \"run\" is missing, not REG_SZ or too long (see `TarnwickCtl check`)"};
        case kErrorAccessDenied:
            return {Judgement::Fail, L"the hotkey " + name + L" cannot be read: " + LabelError(hotkey.configError) +
                                         L": run TarnwickSmoke from an elevated prompt"};
        default:
            return {Judgement::Fail, L"the hotkey " + name + L" cannot be read: " + LabelError(hotkey.configError)};
        }
    }
    if (hotkey.command.empty()) {
        return {Judgement::Fail, L"the hotkey " + name + L" has an empty \"run\": the service starts nothing for it"};
    }
    const CommandProgram program = ListProgramCandidates(hotkey.command);
    const std::size_t intended = PickIntendedCandidate(program, {});
    const std::wstring path = program.candidates[intended];
    if (!IsAgentProgram(path)) {
        return {Judgement::Fail, L"the hotkey " + name + L" runs " + path +
                                     L", not the agent TarnwickAgent.exe (\"run\" is " + hotkey.command + L")"};
    }
    if (intended > 0) {
        return {Judgement::Fail, L"the hotkey " + name + L" runs the agent through a path with blanks that is not "
                                     L"quoted (\"run\" is " + hotkey.command +
                                     L"): the agent would not receive the hotkey name; quote the path"};
    }
    if (hotkey.block == 1) {
        return {Judgement::Fail, L"the hotkey " + name + L" has \"Block\" = 1: the service starts nothing for it"};
    }
    const std::wstring event = L"\"" + HotkeyEventName(hotkey.name.c_str()) + L"\"";
    if (!hotkey.eventOpened) {
        if (hotkey.eventError == kErrorFileNotFound) {
            return {Judgement::Fail, L"the service has no event " + event +
                                         L": it is not running, or it started before the hotkey was configured "
                                         L"(restart it)"};
        }
        return {Judgement::Fail,
                L"the event " + event + L" cannot be opened for setting: " + LabelError(hotkey.eventError) +
                    (hotkey.eventError == kErrorAccessDenied ? L": run TarnwickSmoke from an elevated prompt" : L"")};
    }
    return {Judgement::Pass, L"the hotkey " + name + L" runs the agent (" + hotkey.command + L"), and its event " +
                                 event + L" can be set"};
}
