#include "tools/smoke/smoke.h"

#include "agent/client_detection.h"
#include "common/driver_config.h"
#include "common/error_text.h"
#include "common/handles.h"
#include "common/service_query.h"
#include "service/hotkey_config.h"
#include "tools/service_event_access.h"
#include "tools/smoke/smoke_rules.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace {

std::atomic<bool> Interrupted{false};

constexpr const wchar_t* kClientFileName = L"mstsc.exe";
constexpr const wchar_t* kRecordFileName = L"keys.txt";

std::wstring Seconds(DWORD ms)
{
    return std::to_wstring((ms + 999) / 1000) + L" s";
}

// Calls `done` every pollMs until it gives true (true) or limitMs have
// passed (false); an interruptible wait also ends at Ctrl+C.
template <typename Done>
bool PollUntil(Done done, DWORD limitMs, DWORD pollMs, bool interruptible = true)
{
    const DWORD start = win32.GetTickCount();
    for (;;) {
        if (done()) {
            return true;
        }
        if ((interruptible && Interrupted) || win32.GetTickCount() - start >= limitMs) {
            return false;
        }
        win32.Sleep(pollMs);
    }
}

// The lines of the report, and the count of steps that did not pass.
class KSmokeReport {
public:
    explicit KSmokeReport(KCtlOutput& output) : output_(output) {}

    // PASS or FAIL by the verdict (a step still waiting has failed); true
    // when it passed.
    bool Step(const std::wstring& step, const StepVerdict& verdict)
    {
        const bool passed = verdict.judgement == Judgement::Pass;
        (passed ? passed_ : failed_) += 1;
        output_.Out((passed ? L"PASS " : L"FAIL ") + step + L": " + verdict.text + L"\n");
        return passed;
    }
    bool Pass(const std::wstring& step, const std::wstring& text) { return Step(step, {Judgement::Pass, text}); }
    bool Fail(const std::wstring& step, const std::wstring& text) { return Step(step, {Judgement::Fail, text}); }
    void Skip(const std::wstring& step, const std::wstring& reason)
    {
        ++skipped_;
        output_.Out(L"SKIP " + step + L": " + reason + L"\n");
    }
    // A line below a step: what it saw, or what the tester is asked to do.
    void Detail(const std::wstring& line) { output_.Out(L"     " + line + L"\n"); }

    int Finish()
    {
        if (failed_ == 0 && skipped_ == 0) {
            output_.Out(L"RESULT: PASS (" + std::to_wstring(passed_) + L" steps passed)\n");
            return kSmokePassed;
        }
        output_.Out(L"RESULT: FAIL (" + std::to_wstring(failed_) + L" failed, " + std::to_wstring(skipped_) +
                    L" not run, " + std::to_wstring(passed_) + L" passed)\n");
        return kSmokeFailed;
    }

private:
    KCtlOutput& output_;
    int passed_ = 0;
    int failed_ = 0;
    int skipped_ = 0;
};

// "a window of C:\...\cmd.exe (process 1234)", or "no window".
std::wstring DescribeForeground()
{
    const HWND foreground = win32.GetForegroundWindow();
    if (foreground == nullptr) {
        return L"no window";
    }
    DWORD processId = 0;
    win32.GetWindowThreadProcessId(foreground, &processId);
    wchar_t path[kLongPathChars] = {};
    const std::wstring program =
        processId != 0 && GetProcessImagePath(processId, path) ? std::wstring(path) : L"a program";
    return L"a window of " + program + L" (process " + std::to_wstring(processId) + L")";
}

HWND WindowFromNumber(std::uint64_t number)
{
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(number));
}

// The stand-in client: a folder of its own under the temporary folder, the
// copy of this program as mstsc.exe in it, the record file that the copy
// writes, and its process. Remove() ends the process and removes all of it;
// the destructor does so too when Remove() did not run.
class KSmokeClient {
public:
    explicit KSmokeClient(const SmokeTimings& timings) : timings_(timings) {}
    ~KSmokeClient() { Remove(); }
    KSmokeClient(const KSmokeClient&) = delete;
    KSmokeClient& operator=(const KSmokeClient&) = delete;

    // Makes the folder, copies this program into it and starts the copy in
    // client mode. Empty when it runs, else what failed.
    std::wstring Start()
    {
        wchar_t temp[MAX_PATH + 1] = {};
        const DWORD length = win32.GetTempPathW(MAX_PATH + 1, temp);
        if (length == 0 || length > MAX_PATH) {
            return L"the temporary folder cannot be found (" + ExplainError(win32.GetLastError()) + L")";
        }
        const std::wstring base =
            std::wstring(temp, length) + L"TarnwickSmoke-" + std::to_wstring(win32.GetCurrentProcessId());
        for (int attempt = 0; !folderMade_; ++attempt) {
            folder_ = attempt == 0 ? base : base + L"-" + std::to_wstring(attempt);
            folderMade_ = win32.CreateDirectoryW(folder_.c_str(), nullptr) != FALSE;
            const DWORD error = folderMade_ ? ERROR_SUCCESS : win32.GetLastError();
            if (!folderMade_ && (error != ERROR_ALREADY_EXISTS || attempt == 99)) {
                return L"the folder " + folder_ + L" cannot be made (" + ExplainError(error) + L")";
            }
        }
        exe_ = folder_ + L"\\" + kClientFileName;
        record_ = folder_ + L"\\" + kRecordFileName;

        std::vector<wchar_t> own(32768, L'\0');
        const DWORD ownLength = win32.GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size()));
        if (ownLength == 0 || ownLength >= own.size()) {
            return L"the path of this program cannot be read (" + ExplainError(win32.GetLastError()) + L")";
        }
        if (!win32.CopyFileW(own.data(), exe_.c_str(), TRUE)) {
            return L"this program cannot be copied to " + exe_ + L" (" + ExplainError(win32.GetLastError()) + L")";
        }
        exeCopied_ = true;

        const std::wstring commandLine = L"\"" + exe_ + L"\" --client \"" + record_ + L"\" " +
                                         std::to_wstring(win32.GetCurrentProcessId());
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION started = {};
        DWORD error = ERROR_SUCCESS;
        // A second try, as a start now and then fails under load without a
        // lasting cause.
        for (int attempt = 0; attempt < 2 && !process_; ++attempt) {
            std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
            line.push_back(L'\0');
            if (win32.CreateProcessW(exe_.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                     nullptr, &startup, &started)) {
                process_.reset(started.hProcess);
                const KHandle thread(started.hThread);
                processId_ = started.dwProcessId;
            } else {
                error = win32.GetLastError();
            }
        }
        if (!process_) {
            return exe_ + L" cannot be started (" + ExplainError(error) + L")";
        }
        // A process that may set the foreground window can pass that on
        // (AllowSetForegroundWindow); the client then takes it itself.
        win32.AllowSetForegroundWindow(processId_);
        return std::wstring();
    }

    // Waits until the client has written the handles of its windows. False
    // when it ended first or the time ran out.
    bool WaitUntilReady()
    {
        return PollUntil(
                   [&] {
                       const ClientLog log = Log();
                       if (log.ready) {
                           frame_ = WindowFromNumber(log.frameWindow);
                           capture_ = WindowFromNumber(log.captureWindow);
                           return true;
                       }
                       return Ended();
                   },
                   timings_.clientStartMs, timings_.pollMs) &&
               frame_ != nullptr;
    }

    // The foreground window is the client's frame window.
    bool InFront() const
    {
        const HWND foreground = win32.GetForegroundWindow();
        if (foreground == nullptr || foreground != frame_) {
            return false;
        }
        DWORD processId = 0;
        win32.GetWindowThreadProcessId(foreground, &processId);
        return processId == processId_;
    }

    bool Ended() const { return !process_ || win32.WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }

    // What the client has recorded so far.
    ClientLog Log() const
    {
        const KFile file(win32.CreateFileW(record_.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return ClientLog();
        }
        std::string text;
        char buffer[4096];
        DWORD read = 0;
        while (win32.ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            text.append(buffer, read);
        }
        return ParseClientLog(text);
    }

    // Ends the client (WM_CLOSE to its window, else TerminateProcess) and
    // deletes the copy, the record file and the folder. What is left, one
    // entry each; none when everything is gone.
    std::vector<std::wstring> Remove()
    {
        std::vector<std::wstring> left;
        if (process_) {
            if (frame_ != nullptr) {
                win32.PostMessageW(frame_, WM_CLOSE, 0, 0);
            }
            if (win32.WaitForSingleObject(process_.get(), timings_.clientEndMs) != WAIT_OBJECT_0) {
                win32.TerminateProcess(process_.get(), 1);
                if (win32.WaitForSingleObject(process_.get(), timings_.clientEndMs) != WAIT_OBJECT_0) {
                    left.push_back(L"the client (process " + std::to_wstring(processId_) + L") still runs");
                }
            }
            process_.Close();
        }
        // The file of a program that has just ended can stay in use for a
        // moment.
        const auto deleted = [&](const std::wstring& path) {
            return PollUntil(
                [&] { return win32.DeleteFileW(path.c_str()) || win32.GetLastError() == ERROR_FILE_NOT_FOUND; },
                timings_.deleteMs, timings_.pollMs, false);
        };
        if (exeCopied_) {
            exeCopied_ = !deleted(exe_);
            if (exeCopied_) {
                left.push_back(exe_ + L" (" + ExplainError(win32.GetLastError()) + L")");
            }
        }
        if (folderMade_ && !deleted(record_)) {
            left.push_back(record_ + L" (" + ExplainError(win32.GetLastError()) + L")");
        }
        if (folderMade_) {
            folderMade_ = win32.RemoveDirectoryW(folder_.c_str()) == FALSE;
            if (folderMade_) {
                left.push_back(folder_ + L" (" + ExplainError(win32.GetLastError()) + L")");
            }
        }
        return left;
    }

    bool Made() const { return folderMade_; }
    const std::wstring& Folder() const { return folder_; }
    const std::wstring& ExePath() const { return exe_; }
    DWORD ProcessId() const { return processId_; }
    HWND Capture() const { return capture_; }
    HWND Frame() const { return frame_; }

private:
    const SmokeTimings& timings_;
    std::wstring folder_;
    std::wstring exe_;
    std::wstring record_;
    bool folderMade_ = false;
    bool exeCopied_ = false;
    KHandle process_;
    DWORD processId_ = 0;
    HWND frame_ = nullptr;
    HWND capture_ = nullptr;
};

// What the service manager says of the service `name`.
ServiceReading ReadService(const std::wstring& name)
{
    const ServiceFacts facts = QueryService(name.c_str(), ServiceParts::Status);
    ServiceReading reading;
    reading.name = name;
    reading.managerOpened = facts.managerOpened;
    reading.installed = facts.installed;
    reading.statusRead = facts.statusRead;
    reading.state = facts.state;
    reading.exitCode = facts.exitCode;
    reading.error = facts.error;
    return reading;
}

// The hotkey as the service reads it, and its event opened for setting as
// TarnwickCtl press opens it (into `event`).
bool CheckHotkey(const wchar_t* name, KHandle& event, KSmokeReport& report)
{
    HotkeyReading reading;
    reading.name = name;
    HotkeyEntry entry = {};
    DWORD error = ERROR_SUCCESS;
    reading.configRead = ReadHotkeyConfig(name, entry, error);
    reading.configError = error;
    if (reading.configRead) {
        reading.command = entry.command;
        reading.block = entry.block;
    }
    DWORD eventError = ERROR_SUCCESS;
    event = OpenServiceEvent(HotkeyEventName(name), EVENT_MODIFY_STATE, eventError);
    reading.eventOpened = static_cast<bool>(event);
    reading.eventError = eventError;
    return report.Step(L"hotkey " + std::wstring(name), JudgeHotkey(reading));
}

// Brings the client up and in front. Empty when it is, with the agent's own
// detection finding its Input Capture Window there; else what failed.
std::wstring ShowClient(KSmokeClient& client, const SmokeTimings& timings, KSmokeReport& report)
{
    std::wstring failure = client.Start();
    if (!failure.empty()) {
        return failure;
    }
    if (!client.WaitUntilReady()) {
        return client.Ended() ? L"the client " + client.ExePath() + L" ended before its window was up"
                              : L"the window of the client " + client.ExePath() + L" did not come up within " +
                                    Seconds(timings.clientStartMs);
    }
    win32.SetForegroundWindow(client.Frame());
    const auto inFront = [&] { return client.InFront(); };
    if (!PollUntil(inFront, timings.foregroundMs, timings.pollMs)) {
        report.Detail(L"the window \"TarnwickSmoke: stand-in for Remote Desktop\" did not come to the front by "
                      L"itself: click into it; waiting up to " +
                      Seconds(timings.clickMs));
        if (!PollUntil(inFront, timings.clickMs, timings.pollMs)) {
            return L"the client's window is not in front: " + DescribeForeground() + L" is";
        }
    }
    RemoteClientMatch match = {};
    if (!DetectRemoteClient(match) || match.kind != Mstsc || match.targetWindow != client.Capture()) {
        return L"the client's window is in front, but the agent's detection does not find Microsoft Remote Desktop "
               L"with its Input Capture Window there";
    }
    return std::wstring();
}

LayoutScans ScansOfThisLayout()
{
    const auto scan = [](BYTE virtualKey) {
        return static_cast<std::uint8_t>(win32.MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC) & 0xFF);
    };
    LayoutScans scans;
    scans.lwin = scan(kVkLWin);
    scans.l = scan(kVkL);
    scans.control = scan(kVkControl);
    scans.menu = scan(kVkMenu);
    scans.end = scan(kVkEnd);
    return scans;
}

using Judge = StepVerdict (*)(const std::vector<KeyRecord>&, const LayoutScans&);

// Presses one hotkey, only while the client's window is in front, and
// judges what reaches the client: until the keys are complete or wrong, at
// most keysMs, then for settleMs more, so that keys beyond the expected ones
// are seen too.
void PressStep(const std::wstring& step, const KHandle& event, Judge judge, const std::wstring& wouldDoLocally,
               KSmokeClient& client, const LayoutScans& scans, const SmokeTimings& timings, KSmokeReport& report)
{
    if (Interrupted) {
        report.Skip(step, L"not pressed: interrupted");
        return;
    }
    if (!client.InFront()) {
        report.Fail(step, L"not pressed: " + DescribeForeground() + L" is in front instead of the client, and a "
                          L"press would " + wouldDoLocally);
        return;
    }
    const std::size_t before = client.Log().keys.size();
    if (!win32.SetEvent(event.get())) {
        report.Fail(step, L"the hotkey's event cannot be set (" + ExplainError(win32.GetLastError()) + L")");
        return;
    }
    std::vector<KeyRecord> seen;
    StepVerdict verdict;
    const auto judgeNow = [&] {
        const ClientLog log = client.Log();
        seen.assign(log.keys.begin() + static_cast<std::ptrdiff_t>(std::min(before, log.keys.size())),
                    log.keys.end());
        verdict = judge(seen, scans);
        return verdict.judgement != Judgement::Waiting;
    };
    PollUntil([&] { return judgeNow() || client.Ended(); }, timings.keysMs, timings.pollMs);
    if (verdict.judgement == Judgement::Pass) {
        win32.Sleep(timings.settleMs);
        judgeNow();
    }
    if (verdict.judgement == Judgement::Waiting) {
        const std::wstring why = client.Ended() ? L"the client ended"
                                 : Interrupted  ? L"interrupted"
                                                : L"after " + Seconds(timings.keysMs);
        verdict.judgement = Judgement::Fail;
        verdict.text = why + L": " + verdict.text +
                       (seen.empty() ? L" (`TarnwickCtl check` tells whether the service starts the agent for "
                                       L"the hotkey, `TarnwickCtl watch` what the agent sees in front)"
                                     : L"");
    }
    report.Step(step, verdict);
    if (seen.empty()) {
        report.Detail(L"the client received no key");
    }
    for (const KeyRecord& key : seen) {
        report.Detail(L"received " + DescribeKey(key));
    }
}

}  // namespace

void InterruptSmoke()
{
    Interrupted = true;
}

int RunSmoke(const std::wstring& serviceName, KCtlOutput& output, const SmokeTimings& timings)
{
    Interrupted = false;
    output.Out(L"TarnwickSmoke: Win+L and Ctrl+Alt+Del through the service " + serviceName +
               L" and the agent into a stand-in for Microsoft Remote Desktop\n");
    KSmokeReport report(output);

    bool ready = report.Step(L"service", JudgeService(ReadService(serviceName)));

    KHandle lockEvent;
    KHandle sasEvent;
    ready = CheckHotkey(kSmokeLockHotkey, lockEvent, report) && ready;
    ready = CheckHotkey(kSmokeSasHotkey, sasEvent, report) && ready;
    if (!ready) {
        const std::wstring reason = L"nothing was started or pressed, as a step above failed";
        report.Skip(L"client", reason);
        report.Skip(L"Win+L", reason);
        report.Skip(L"Ctrl+Alt+Del", reason);
        return report.Finish();
    }

    KSmokeClient client(timings);
    const std::wstring failure = ShowClient(client, timings, report);
    if (failure.empty()) {
        report.Pass(L"client", L"the stand-in " + client.ExePath() + L" (process " +
                                   std::to_wstring(client.ProcessId()) +
                                   L") is in front, and the agent's detection finds Microsoft Remote Desktop there "
                                   L"with its Input Capture Window");
        const LayoutScans scans = ScansOfThisLayout();
        PressStep(L"Win+L", lockEvent, JudgeWinL, L"lock this PC", client, scans, timings, report);
        PressStep(L"Ctrl+Alt+Del", sasEvent, JudgeCtrlAltEnd, L"act on this PC", client, scans, timings, report);
    } else {
        report.Fail(L"client", failure);
        const std::wstring reason = L"not pressed, as the client is not in front";
        report.Skip(L"Win+L", reason);
        report.Skip(L"Ctrl+Alt+Del", reason);
    }

    const bool made = client.Made();
    const std::wstring folder = client.Folder();
    const std::vector<std::wstring> left = client.Remove();
    if (left.empty()) {
        report.Pass(L"clean-up", made ? L"the client has ended, and " + folder + L" is removed with everything in it"
                                      : L"nothing was left");
    } else {
        std::wstring text = L"left behind:";
        for (const std::wstring& entry : left) {
            text += L" " + entry + L";";
        }
        text.pop_back();
        report.Fail(L"clean-up", text);
    }
    return report.Finish();
}
