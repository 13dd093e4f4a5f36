// The rules of TarnwickSmoke that need no Windows call: its command line,
// the lines in which its stand-in client records the keystroke messages it
// receives, what Win+L and Ctrl+Alt+Del must look like when they arrive
// there, and the verdict on what the service, a hotkey and a press showed.
// Needs no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Windows' own numbers (WinUser.h) of what is compared here.
constexpr std::uint32_t kWmKeyDown = 0x0100;
constexpr std::uint32_t kWmKeyUp = 0x0101;
constexpr std::uint32_t kWmSysKeyDown = 0x0104;
constexpr std::uint32_t kWmSysKeyUp = 0x0105;
constexpr std::uint8_t kVkControl = 0x11;
constexpr std::uint8_t kVkMenu = 0x12;
constexpr std::uint8_t kVkEnd = 0x23;
constexpr std::uint8_t kVkL = 0x4C;
constexpr std::uint8_t kVkLWin = 0x5B;
constexpr std::uint32_t kServiceRunning = 4;  // SERVICE_RUNNING

// The service checked unless --service names another.
constexpr const wchar_t* kDefaultSmokeService = L"TarnwickSvc";
// The two hotkeys pressed, as the driver names them.
constexpr const wchar_t* kSmokeLockHotkey = L"LWin+L";
constexpr const wchar_t* kSmokeSasHotkey = L"ctrl+alt+del";
// The text of the stand-in client's keystroke window, as Microsoft Remote
// Desktop names its own.
constexpr const wchar_t* kCaptureWindowText = L"Input Capture Window";

// TarnwickSmoke's exit codes: every step passed; a step failed or was not
// run (or memory ran out); wrong arguments; and the stand-in client's, which
// could not make its record file or its windows.
constexpr int kSmokePassed = 0;
constexpr int kSmokeFailed = 1;
constexpr int kSmokeUsage = 2;
constexpr int kSmokeClientFailed = 3;

enum class SmokeMode { Smoke, Client, Help };

struct SmokeArgs {
    SmokeMode mode = SmokeMode::Smoke;
    std::wstring service = kDefaultSmokeService;
    // Client mode: the record file and the process whose end ends the client.
    std::wstring recordPath;
    std::uint32_t parentId = 0;
    std::wstring error;  // not empty: the arguments are wrong
};

//   (none) | --service NAME | --help
//   --client RECORD-FILE PARENT-PROCESS-ID   (the stand-in client, started
//                                            by TarnwickSmoke itself)
SmokeArgs ParseSmokeArgs(const std::vector<std::wstring>& args);
std::wstring DescribeSmokeUsage();

// One keystroke message as a window of the stand-in client received it.
struct KeyRecord {
    bool atCaptureWindow = false;  // else at the client's frame window
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
};
bool operator==(const KeyRecord& a, const KeyRecord& b);

// What the stand-in client has written into its record file: once its
// windows exist, their handles, then one line per keystroke message.
struct ClientLog {
    bool ready = false;
    std::uint64_t frameWindow = 0;
    std::uint64_t captureWindow = 0;
    std::vector<KeyRecord> keys;
};

// "ready <frame> <capture>" and "<capture|frame> <message> <wParam> <lParam>",
// numbers in hexadecimal, each line ended by CR LF.
std::string FormatReadyLine(std::uint64_t frameWindow, std::uint64_t captureWindow);
std::string FormatRecordLine(const KeyRecord& record);
// Reads the complete lines of a record file; a last line without its end
// (still being written) and lines of another form are left out.
ClientLog ParseClientLog(const std::string& text);

// "WM_SYSKEYDOWN VK_END (0x23), scan 0x4F, extended, lParam 0x014F0001, at
// the Input Capture Window".
std::wstring DescribeKey(const KeyRecord& record);

// The scan codes of the keyboard layout (what MapVirtualKeyW gives), which
// the agent puts into every key it posts or synthesises.
struct LayoutScans {
    std::uint8_t lwin = 0;
    std::uint8_t l = 0;
    std::uint8_t control = 0;
    std::uint8_t menu = 0;
    std::uint8_t end = 0;
};

enum class Judgement { Waiting, Pass, Fail };

struct StepVerdict {
    Judgement judgement = Judgement::Fail;
    std::wstring text;
};

// Win+L into Microsoft Remote Desktop: the agent posts four messages to the
// Input Capture Window, WM_KEYDOWN VK_LWIN (extended), WM_KEYDOWN L, WM_KEYUP
// L, WM_KEYUP VK_LWIN (extended), each lParam with repeat count 1, the
// layout's scan code, and bits 30 and 31 set for a release. Exactly these,
// in this order: Pass; a prefix of them: Waiting; anything else: Fail.
StepVerdict JudgeWinL(const std::vector<KeyRecord>& keys, const LayoutScans& scans);

// Ctrl+Alt+Del into Microsoft Remote Desktop: the agent synthesises Alt
// down, Ctrl down, End down (extended), End up, Ctrl up, Alt up, which reach
// the window with the keyboard focus, the Input Capture Window. Strict about
// the order of the keys, the press or release of each (message and
// transition bit agree), the scan codes and the extended flag; lenient about
// whether a key arrives as WM_KEY* or WM_SYSKEY* (with Alt held, Windows
// makes WM_SYSKEY* of some).
StepVerdict JudgeCtrlAltEnd(const std::vector<KeyRecord>& keys, const LayoutScans& scans);

// What the service manager said of the service.
struct ServiceReading {
    std::wstring name;
    bool managerOpened = false;
    bool installed = false;
    bool statusRead = false;
    std::uint32_t state = 0;
    std::uint32_t exitCode = 0;
    std::uint32_t error = 0;  // of the call that failed
};
// Pass when it is running.
StepVerdict JudgeService(const ServiceReading& service);

// One hotkey as the service reads it, and whether its event could be opened
// for setting, as TarnwickCtl press opens it.
struct HotkeyReading {
    std::wstring name;
    bool configRead = false;
    std::uint32_t configError = 0;
    std::wstring command;  // "run"
    std::uint32_t block = 0;
    bool eventOpened = false;
    std::uint32_t eventError = 0;
};
// Pass when "run" starts the agent, "Block" is not 1 and the event can be
// set.
StepVerdict JudgeHotkey(const HotkeyReading& hotkey);
