#include "agent/client_detection.h"
#include "tests/agent/agent_test_support.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

const HWND kUnset = reinterpret_cast<HWND>(0x5E7);
const RemoteClientMatch kUntouched = {static_cast<RemoteClientKind>(99), kUnset, kUnset};

struct Expected {
    const wchar_t* exe;
    std::vector<TestWindowSpec> tree;
    std::uint32_t kind;
    const char* target;   // name of the expected window, or null
    const char* command;  // name of the expected window, or null
};

void ExpectDetection(const Expected& c)
{
    SCOPED_TRACE(Narrow(c.exe) + ", " + std::to_string(c.tree.size()) + " windows, target " +
                 (c.target ? c.target : "null"));
    TestWindows windows(c.tree);
    KWin32Override api;
    PretendForegroundClient(windows.Top(), c.exe);
    RemoteClientMatch match = kUntouched;
    ASSERT_TRUE(DetectRemoteClient(match));
    EXPECT_EQ(static_cast<std::uint32_t>(match.kind), c.kind);
    EXPECT_EQ(match.targetWindow, c.target ? windows[c.target] : nullptr);
    EXPECT_EQ(match.commandWindow, c.command ? windows[c.command] : nullptr);
}

}  // namespace

TEST(DetectRemoteClient, FindsEachClientsWindowsAmongTheDescendants)
{
    const Expected cases[] = {
        {L"wfica32.exe",
         {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"", "pane"}, {2, L"CtxICADisp", L"", "ctx"}},
         Wfica32, "ctx", "ctx"},
        {L"CDViewer.exe", {{0, L"TestFrame", L"", "frame"}, {1, L"CtxICADisp", L"", "ctx"}}, CdViewer, "ctx", "ctx"},
        {L"vmware-view.exe",
         {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"", "pane"}, {2, L"IHWindowClass", L"", "ih"}},
         VmwareView, "ih", "frame"},
        {L"wswc.exe",
         {{0, L"TestFrame", L"", "frame"}, {1, L"IHWindowClass", L"", "ih"}, {1, L"WswcDesktopMenubar", L"", "bar"}},
         Wswc, "ih", "bar"},
        {L"mstsc.exe",
         {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"", "pane"},
          {2, L"CtxICADisp", L"Input Capture Window", "capture"}},  // the class is not looked at
         Mstsc, "capture", "capture"},
        {L"qorvane.exe", {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"QorvaneSession", "session"}}, Qorvane,
         "session", "session"},
        // Executable names, classes and texts in other ASCII case.
        {L"MSTSC.EXE", {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"INPUT CAPTURE window", "capture"}}, Mstsc,
         "capture", "capture"},
        {L"Wfica32.Exe", {{0, L"TestFrame", L"", "frame"}, {1, L"CtxICADisp", L"", "ctx"}}, Wfica32, "ctx", "ctx"},
        // Several windows of the sought kind: the first in enumeration order,
        // which visits a child's descendants before the next child.
        {L"wfica32.exe",
         {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"", "pane"}, {2, L"CtxICADisp", L"", "first"},
          {1, L"CtxICADisp", L"", "second"}},
         Wfica32, "first", "first"},
        {L"mstsc.exe",
         {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"Input Capture Window", "first"},
          {1, L"TestPane", L"Input Capture Window", "second"}},
         Mstsc, "first", "first"},
    };
    for (const Expected& c : cases) {
        ExpectDetection(c);
    }
}

TEST(DetectRemoteClient, AKnownClientWithoutItsWindowsIsStillDetected)
{
    const Expected cases[] = {
        {L"mstsc.exe", {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"", "pane"}}, Mstsc, nullptr, nullptr},
        // Whole texts only.
        {L"mstsc.exe",
         {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"Input Capture Window ", "a"},
          {1, L"TestPane", L"xInput Capture Window", "b"}, {1, L"TestPane", L"Input Capture", "c"}},
         Mstsc, nullptr, nullptr},
        {L"qorvane.exe", {{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"QorvaneSession2", "a"}}, Qorvane,
         nullptr, nullptr},
        // The foreground window itself is never a candidate.
        {L"wfica32.exe", {{0, L"CtxICADisp", L"", "frame"}, {1, L"TestPane", L"", "pane"}}, Wfica32, nullptr,
         nullptr},
        {L"mstsc.exe", {{0, L"TestFrame", L"Input Capture Window", "frame"}}, Mstsc, nullptr, nullptr},
        {L"vmware-view.exe", {{0, L"IHWindowClass", L"", "frame"}, {1, L"TestPane", L"", "pane"}}, VmwareView,
         nullptr, "frame"},
        // The two windows of wswc are searched independently.
        {L"wswc.exe", {{0, L"TestFrame", L"", "frame"}, {1, L"WswcDesktopMenubar", L"", "bar"}}, Wswc, nullptr,
         "bar"},
        {L"wswc.exe", {{0, L"TestFrame", L"", "frame"}, {1, L"IHWindowClass", L"", "ih"}}, Wswc, "ih", nullptr},
        {L"wswc.exe", {{0, L"TestFrame", L"", "frame"}}, Wswc, nullptr, nullptr},
    };
    for (const Expected& c : cases) {
        ExpectDetection(c);
    }
}

TEST(DetectRemoteClient, NoClientLeavesTheRecordAsItWas)
{
    TestWindows windows({{0, L"TestFrame", L"", "frame"}, {1, L"CtxICADisp", L"", "ctx"}});
    struct Case {
        const char* what;
        void (*arrange)(HWND frame);
    } const cases[] = {
        {"an executable not in the table", [](HWND frame) { PretendForegroundClient(frame, L"notepad.exe"); }},
        {"a name that extends an entry", [](HWND frame) { PretendForegroundClient(frame, L"mstsc.exe.old"); }},
        {"a name that contains an entry", [](HWND frame) { PretendForegroundClient(frame, L"mymstsc.exe"); }},
        {"the test program itself, unsubstituted",
         [](HWND frame) { win32.GetForegroundWindow = [frame]() { return frame; }; }},
        {"no foreground window", [](HWND) { win32.GetForegroundWindow = []() -> HWND { return nullptr; }; }},
        {"no process id",
         [](HWND frame) {
             PretendForegroundClient(frame, L"wfica32.exe");
             win32.GetWindowThreadProcessId = [](HWND, LPDWORD id) -> DWORD {
                 if (id != nullptr) {
                     *id = 0;
                 }
                 return 0;
             };
         }},
        {"a process that cannot be opened",
         [](HWND frame) {
             PretendForegroundClient(frame, L"wfica32.exe");
             win32.OpenProcess = [](DWORD access, BOOL inherit, DWORD) -> HANDLE {
                 EXPECT_EQ(access, static_cast<DWORD>(PROCESS_QUERY_LIMITED_INFORMATION));
                 EXPECT_FALSE(inherit);
                 SetLastError(ERROR_ACCESS_DENIED);
                 return nullptr;
             };
         }},
        {"a path that cannot be read",
         [](HWND frame) {
             PretendForegroundClient(frame, L"wfica32.exe");
             win32.QueryFullProcessImageNameW = [](HANDLE, DWORD, LPWSTR, PDWORD) -> BOOL { return FALSE; };
         }},
        {"a short name that cannot be made long",
         [](HWND frame) {
             win32.GetForegroundWindow = [frame]() { return frame; };
             win32.QueryFullProcessImageNameW = [](HANDLE, DWORD, LPWSTR buffer, PDWORD size) -> BOOL {
                 wcscpy(buffer, L"C:\\NOSUCH~1\\WFICA3~1.EXE");
                 *size = 24;
                 return TRUE;
             };
         }},
        {"no file-name part",
         [](HWND frame) {
             PretendForegroundClient(frame, L"wfica32.exe");
             win32.PathFindFileNameW = [](LPCWSTR) -> LPWSTR { return nullptr; };
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KWin32Override api;
        c.arrange(windows.Top());
        RemoteClientMatch match = kUntouched;
        EXPECT_FALSE(DetectRemoteClient(match));
        EXPECT_EQ(static_cast<std::uint32_t>(match.kind), 99u);
        EXPECT_EQ(match.targetWindow, kUnset);
        EXPECT_EQ(match.commandWindow, kUnset);
    }
}

// Reports `image` as the foreground process's image path, as the kernel
// gives it, and records whether GetLongPathNameW was asked.
void PretendImagePath(const std::wstring& image, bool& askedForLongForm)
{
    askedForLongForm = false;
    win32.QueryFullProcessImageNameW = [image](HANDLE, DWORD, LPWSTR buffer, PDWORD size) -> BOOL {
        wmemcpy(buffer, image.c_str(), image.size() + 1);
        *size = static_cast<DWORD>(image.size());
        return TRUE;
    };
    win32.GetLongPathNameW = [&askedForLongForm](LPCWSTR shortPath, LPWSTR buffer, DWORD size) {
        askedForLongForm = true;
        return GetLongPathNameW(shortPath, buffer, size);
    };
}

TEST(GetProcessImagePath, ALongPathThatDoesNotFitIsAFailure)
{
    // GetLongPathNameW is offered 519 characters: a path of 518 fits; a
    // result of 519 or more is the size it would need, and the buffer then
    // holds no path.
    const std::wstring fits = L"C:\\" + std::wstring(518 - 3 - 10, L'd') + L"\\mstsc.exe";
    ASSERT_EQ(fits.size(), 518u);
    struct Case {
        DWORD reported;
        bool ok;
    } const cases[] = {{518, true}, {519, false}, {600, false}, {0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reported);
        KWin32Override api;
        bool asked = false;
        PretendImagePath(L"C:\\DDDDDD~1\\MSTSC~1.EXE", asked);
        win32.GetLongPathNameW = [&](LPCWSTR, LPWSTR buffer, DWORD size) -> DWORD {
            EXPECT_EQ(size, 519u);
            if (c.ok) {
                wmemcpy(buffer, fits.c_str(), fits.size() + 1);
            } else {
                wmemcpy(buffer, L"C:\\mstsc.exe", 13);  // not a path the caller may use
            }
            return c.reported;
        };
        wchar_t path[kLongPathChars];
        wmemset(path, L'?', kLongPathChars);
        EXPECT_EQ(GetProcessImagePath(GetCurrentProcessId(), path), c.ok);
        if (c.ok) {
            EXPECT_EQ(std::wstring(path), fits);
        }
    }
}

TEST(GetProcessImagePath, GivesTheLongFormOfAnEightDotThreePath)
{
    const std::wstring longPath = MakeEmptyFile(L"vmware-view.exe");
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortPath), longPath) << "no short names for the scratch folder";
    ASSERT_NE(std::wstring(PathFindFileNameW(shortPath)), L"vmware-view.exe") << "the file name is not short";
    TestWindows windows({{0, L"TestFrame", L"", "frame"}, {1, L"IHWindowClass", L"", "ih"}});
    KWin32Override api;
    bool asked = false;
    win32.GetForegroundWindow = [&]() { return windows.Top(); };
    PretendImagePath(shortPath, asked);
    wchar_t path[kLongPathChars] = {};
    ASSERT_TRUE(GetProcessImagePath(GetCurrentProcessId(), path));
    EXPECT_TRUE(asked);
    EXPECT_EQ(std::wstring(path), longPath);
    RemoteClientMatch match = kUntouched;
    ASSERT_TRUE(DetectRemoteClient(match));
    EXPECT_EQ(match.kind, VmwareView);
    EXPECT_EQ(match.targetWindow, windows["ih"]);
}

// The image path comes from the kernel, with the least right that gives it;
// a path that names another computer is never followed (that would sign in
// to it with the agent's, LocalSystem's, credentials), yet the client is
// still recognised by its file name.
TEST(GetProcessImagePath, NeverFollowsAPathToAnotherComputerAndStillRecognisesTheClient)
{
    TestWindows windows({{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"Input Capture Window", "icw"}});
    for (const wchar_t* image : {L"\\\\host\\share\\mstsc.exe", L"\\\\?\\UNC\\host\\share\\MSTSC.EXE",
                                 L"\\\\host@SSL\\DavWWWRoot\\mstsc.exe", L"\\\\host\\share\\MSTSC~1.EXE",
                                 L"C:\\PROGRA~1\\mstsc.exe"}) {
        SCOPED_TRACE(Narrow(image));
        KWin32Override api;
        bool asked = false;
        DWORD access = 0;
        win32.GetForegroundWindow = [&]() { return windows.Top(); };
        win32.OpenProcess = [&access](DWORD wanted, BOOL inherit, DWORD id) {
            access = wanted;
            return OpenProcess(wanted, inherit, id);
        };
        PretendImagePath(image, asked);
        wchar_t path[kLongPathChars] = {};
        ASSERT_TRUE(GetProcessImagePath(GetCurrentProcessId(), path));
        EXPECT_EQ(std::wstring(path), image);
        EXPECT_FALSE(asked);
        EXPECT_EQ(access, static_cast<DWORD>(PROCESS_QUERY_LIMITED_INFORMATION));
        RemoteClientMatch match = kUntouched;
        const bool recognised = DetectRemoteClient(match);
        // A short file name on another computer is compared as it is, and so
        // is not the client's.
        EXPECT_EQ(recognised, std::wstring(PathFindFileNameW(image)).find(L'~') == std::wstring::npos);
        if (recognised) {
            EXPECT_EQ(match.kind, Mstsc);
            EXPECT_EQ(match.targetWindow, windows["icw"]);
        }
        EXPECT_FALSE(asked);
    }
}

TEST(FindDescendantWindow, AWindowThatVanishedDuringTheWalkNeverMatches)
{
    TestWindows windows({{0, L"TestFrame", L"", "frame"},
                         {1, L"CtxICADisp", L"Input Capture Window", "gone"},
                         {1, L"CtxICADisp", L"Input Capture Window", "alive"}});
    const HWND gone = windows["gone"];
    KWin32Override api;
    // The failed reads leave the sought name in the buffer, as stale data.
    win32.GetClassNameW = [gone](HWND window, LPWSTR buffer, int size) -> int {
        if (window == gone) {
            wcscpy(buffer, L"CtxICADisp");
            return 0;
        }
        return GetClassNameW(window, buffer, size);
    };
    win32.GetWindowTextW = [gone](HWND window, LPWSTR buffer, int size) -> int {
        if (window == gone) {
            wcscpy(buffer, L"Input Capture Window");
            return 0;
        }
        return GetWindowTextW(window, buffer, size);
    };
    EXPECT_EQ(FindDescendantWindow(windows.Top(), L"CtxICADisp", nullptr), windows["alive"]);
    EXPECT_EQ(FindDescendantWindow(windows.Top(), nullptr, L"Input Capture Window"), windows["alive"]);
    EXPECT_EQ(FindDescendantWindow(windows.Top(), L"CtxICADisp", L"Input Capture Window"), windows["alive"]);
}

TEST(FindDescendantWindow, BothCriteriaMustHoldAndNoneMeansNoSearch)
{
    TestWindows windows({{0, L"TestFrame", L"", "frame"},
                         {1, L"CtxICADisp", L"Other", "classOnly"},
                         {1, L"TestPane", L"Input Capture Window", "textOnly"},
                         {1, L"CtxICADisp", L"Input Capture Window", "both"}});
    EXPECT_EQ(FindDescendantWindow(windows.Top(), L"CtxICADisp", L"input capture window"), windows["both"]);
    EXPECT_EQ(FindDescendantWindow(windows.Top(), L"IHWindowClass", nullptr), nullptr);

    KWin32Override api;
    int enumerations = 0;
    win32.EnumChildWindows = [&](HWND, WNDENUMPROC, LPARAM) {
        ++enumerations;
        return TRUE;
    };
    EXPECT_EQ(FindDescendantWindow(windows.Top(), nullptr, nullptr), nullptr);
    EXPECT_EQ(enumerations, 0);
}

TEST(CollectChildWindow, AppendsEveryWindowAndStopsAtANullOne)
{
    std::vector<HWND> list;
    const HWND a = reinterpret_cast<HWND>(0x10);
    const HWND b = reinterpret_cast<HWND>(0x20);
    EXPECT_TRUE(CollectChildWindow(a, reinterpret_cast<LPARAM>(&list)));
    EXPECT_TRUE(CollectChildWindow(b, reinterpret_cast<LPARAM>(&list)));
    EXPECT_FALSE(CollectChildWindow(nullptr, reinterpret_cast<LPARAM>(&list)));
    EXPECT_EQ(list, (std::vector<HWND>{a, b}));
}

// A program that no row knows is handled as the client its policy entry
// names, with the keystroke window found by the entry's criterion or by that
// client's; an entry that is ignored leaves the program unknown.
TEST(DetectRemoteClient, AProgramAddedByPolicyIsHandledAsTheClientItIsLike)
{
    RegistrySandbox sandbox;
    const std::wstring policy = L"SOFTWARE\\Policies\\Tarnwick\\Clients";
    const struct {
        const wchar_t* name;
        const wchar_t* data;
    } entries[] = {
        {L"msrdc.exe", L"like=mstsc.exe"},
        {L"Horizon-Client.EXE", L"like = vmware-view.exe"},
        {L"byclass.exe", L"like=mstsc.exe;class=SessionPane"},
        {L"bytext.exe", L"LIKE=wfica32.exe; TEXT=Session"},
        {L"broken.exe", L"like mstsc.exe"},
        {L"unknown.exe", L"like=notepad.exe"},
        {L"both.exe", L"like=mstsc.exe;class=SessionPane;text=Session"},
        {L"wswc.exe", L"like=mstsc.exe"},
    };
    for (const auto& e : entries) {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, policy, e.name, e.data);
    }
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, policy, L"number.exe", 1);
    const std::vector<TestWindowSpec> tree = {{0, L"TestFrame", L"", "frame"},
                                              {1, L"TestPane", L"", "pane"},
                                              {2, L"IHWindowClass", L"Input Capture Window", "capture"},
                                              {1, L"SessionPane", L"Session", "session"},
                                              {1, L"WswcDesktopMenubar", L"", "bar"}};
    const Expected detected[] = {
        {L"msrdc.exe", tree, Mstsc, "capture", "capture"},
        {L"MSRDC.EXE", tree, Mstsc, "capture", "capture"},
        {L"horizon-client.exe", tree, VmwareView, "capture", "frame"},  // the command to the foreground window
        {L"byclass.exe", tree, Mstsc, "session", "session"},
        {L"bytext.exe", tree, Wfica32, "session", "session"},
        {L"wswc.exe", tree, Wswc, "capture", "bar"},  // a built-in name keeps its own row
    };
    for (const Expected& c : detected) {
        ExpectDetection(c);
    }
    for (const wchar_t* ignored : {L"broken.exe", L"unknown.exe", L"both.exe", L"number.exe", L"other.exe"}) {
        SCOPED_TRACE(Narrow(ignored));
        TestWindows windows(tree);
        KWin32Override api;
        PretendForegroundClient(windows.Top(), ignored);
        RemoteClientMatch match = kUntouched;
        EXPECT_FALSE(DetectRemoteClient(match));
        EXPECT_EQ(match.targetWindow, kUnset);
    }
}

// Without a policy key, a program that no row knows costs one failed open
// and nothing else; a built-in client never reads the policy at all.
TEST(DetectRemoteClient, ThePolicyIsReadOnlyForAProgramThatNoRowKnows)
{
    RegistrySandbox sandbox;
    TestWindows windows({{0, L"TestFrame", L"", "frame"}, {1, L"TestPane", L"Input Capture Window", "capture"}});
    for (const wchar_t* exe : {L"mstsc.exe", L"notepad.exe"}) {
        SCOPED_TRACE(Narrow(exe));
        KWin32Override api;
        std::vector<std::wstring> opened;
        win32.RegOpenKeyExW = [&](HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
            opened.push_back(path);
            return RegOpenKeyExW(root, path, options, access, key);
        };
        PretendForegroundClient(windows.Top(), exe);
        RemoteClientMatch match = kUntouched;
        DetectRemoteClient(match);
        EXPECT_EQ(opened, std::wstring(exe) == L"mstsc.exe"
                              ? std::vector<std::wstring>{}
                              : std::vector<std::wstring>{L"SOFTWARE\\Policies\\Tarnwick\\Clients"});
    }
}
