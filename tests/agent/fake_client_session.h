// Drives the fake remote-desktop client (tests/programs/fake_client) from a
// test: copies it under a client's executable name into a scratch folder,
// starts it with a window tree, waits until it has the foreground, and reads
// back what its windows received.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ClientRecord {
    ULONGLONG tick = 0;
    int window = -1;  // index in creation order, 0 = top level
    std::wstring message;  // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_COMMAND
    unsigned long long wParam = 0;
    DWORD lParam = 0;
};

class FakeClientSession {
public:
    // `treeOptions`: e.g. L"--tree mstsc" or L"--window 0:CtxICADisp: --window 1:Pane:".
    // `startThroughShortPath`: start the copy through its 8.3 path.
    FakeClientSession(const std::wstring& exeName, const std::wstring& treeOptions,
                      bool startThroughShortPath = false);
    ~FakeClientSession();
    FakeClientSession(const FakeClientSession&) = delete;
    FakeClientSession& operator=(const FakeClientSession&) = delete;

    bool Ready() const { return !windows_.empty(); }
    HWND Window(size_t index) const { return index < windows_.size() ? windows_[index] : nullptr; }
    const std::wstring& ExePath() const { return exePath_; }
    const std::wstring& LaunchPath() const { return launchPath_; }

    // Posts a WM_COMMAND fence to the top-level window and synthesises an
    // F24 press and release, waits until the client has recorded both (so
    // everything posted or synthesised before has been processed), and
    // returns all records but the fences.
    std::vector<ClientRecord> RecordsAfterFence();

private:
    std::vector<ClientRecord> Records() const;

    std::wstring exePath_;
    std::wstring launchPath_;
    std::wstring logPath_;
    PROCESS_INFORMATION process_ = {};
    std::vector<HWND> windows_;
    size_t fences_ = 0;  // fence rounds sent so far
};
