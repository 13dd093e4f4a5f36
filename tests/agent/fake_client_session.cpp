#include "tests/agent/fake_client_session.h"

#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <sstream>

namespace {

constexpr WPARAM kFenceCommand = 0xFE11;
constexpr BYTE kFenceKey = VK_F24;

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::wistringstream stream(text);
    std::wstring line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace

FakeClientSession::FakeClientSession(const std::wstring& exeName, const std::wstring& treeOptions,
                                     bool startThroughShortPath)
{
    const std::wstring dir = MakeScratchDir(L"fake client");
    exePath_ = dir + L"\\" + exeName;
    logPath_ = dir + L"\\records.txt";
    const std::wstring readyPath = dir + L"\\ready.txt";
    // A scratch folder of an earlier run may be reused (process ids repeat).
    DeleteFileW(readyPath.c_str());
    DeleteFileW(logPath_.c_str());
    CopyFileOrFail(BinPath(L"fake_client.exe"), exePath_);
    launchPath_ = exePath_;
    if (startThroughShortPath) {
        wchar_t shortPath[MAX_PATH] = {};
        EXPECT_NE(GetShortPathNameW(exePath_.c_str(), shortPath, MAX_PATH), 0u);
        launchPath_ = shortPath;
    }
    std::wstring commandLine = L"\"" + launchPath_ + L"\" --log \"" + logPath_ + L"\" --ready \"" + readyPath +
                               L"\" --lifetime 90 " + treeOptions;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(launchPath_.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process_)) {
        ADD_FAILURE() << "fake client not started, error " << GetLastError();
        return;
    }
    const bool ready = WaitUntil([&] {
        const std::wstring text = ReadTextFile(readyPath);
        return text.find(L"ready") != std::wstring::npos ||
               WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
    });
    for (const std::wstring& line : Lines(ReadTextFile(readyPath))) {
        unsigned index = 0;
        unsigned long long handle = 0;
        if (swscanf(line.c_str(), L"window %u %llx", &index, &handle) == 2) {
            windows_.resize(index + 1);
            windows_[index] = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
        }
    }
    if (!ready || windows_.empty()) {
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        ADD_FAILURE() << "fake client not ready (exit code " << code << ")";
        windows_.clear();
    }
}

FakeClientSession::~FakeClientSession()
{
    if (process_.hProcess != nullptr) {
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

std::vector<ClientRecord> FakeClientSession::Records() const
{
    std::vector<ClientRecord> records;
    for (const std::wstring& line : Lines(ReadTextFile(logPath_))) {
        ClientRecord record;
        wchar_t message[32] = {};
        unsigned long lParam = 0;
        if (swscanf(line.c_str(), L"%llu %d %31ls %llx %lx", &record.tick, &record.window, message, &record.wParam,
                    &lParam) == 5) {
            record.message = message;
            record.lParam = static_cast<DWORD>(lParam);
            records.push_back(record);
        }
    }
    return records;
}

std::vector<ClientRecord> FakeClientSession::RecordsAfterFence()
{
    ++fences_;
    PostMessageW(Window(0), WM_COMMAND, kFenceCommand, 0);
    keybd_event(kFenceKey, 0, 0, 0);
    keybd_event(kFenceKey, 0, KEYEVENTF_KEYUP, 0);
    auto isCommandFence = [](const ClientRecord& r) { return r.message == L"WM_COMMAND" && r.wParam == kFenceCommand; };
    auto isKeyFence = [](const ClientRecord& r) { return r.message != L"WM_COMMAND" && r.wParam == kFenceKey; };
    std::vector<ClientRecord> records;
    const bool fenced = WaitUntil([&] {
        records = Records();
        // Every call adds one command fence and two key fences.
        size_t commands = 0;
        size_t keys = 0;
        for (const ClientRecord& r : records) {
            commands += isCommandFence(r) ? 1 : 0;
            keys += isKeyFence(r) ? 1 : 0;
        }
        return commands == fences_ && keys == 2 * fences_;
    });
    EXPECT_TRUE(fenced) << "the fake client did not record the fences";
    std::vector<ClientRecord> result;
    for (const ClientRecord& r : records) {
        if (!isCommandFence(r) && !isKeyFence(r)) {
            result.push_back(r);
        }
    }
    return result;
}
