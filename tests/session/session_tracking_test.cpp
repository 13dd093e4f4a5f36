#include "common/lock_policy.h"
#include "service/hotkey_table.h"
#include "service/service_main.h"
#include "service/service_state.h"
#include "service/session_tracking.h"
#include "tests/support/fake_console_account.h"
#include "tests/support/narrow_text.h"
#include "tests/support/object_owner_report.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

bool MarkerExists()
{
    HANDLE marker = OpenEventW(SYNCHRONIZE, FALSE, kLogonMarkerName);
    if (marker == nullptr) {
        return false;
    }
    CloseHandle(marker);
    return true;
}

class SessionTracking : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetServiceState();
        ASSERT_TRUE(GetConsoleUserName(user));
        wchar_t sid[kSidStringChars] = {};
        ASSERT_TRUE(GetAccountSidString(user.c_str(), sid));
        userSid = sid;
        wchar_t key[kLockPolicyPathChars] = {};
        FormatLockPolicyKeyPath(sid, key);
        policyKey = key;
    }
    void TearDown() override { ResetServiceState(); }

    // The console user's value: -1 when absent.
    long long Policy() { return PolicyOf(policyKey); }
    // The value below a policy key (or the one of a SID's): -1 when absent.
    static long long PolicyOf(const std::wstring& keyOrSid)
    {
        std::wstring key = keyOrSid;
        if (key.find(L'\\') == std::wstring::npos) {
            wchar_t path[kLockPolicyPathChars] = {};
            FormatLockPolicyKeyPath(keyOrSid.c_str(), path);
            key = path;
        }
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!RegistrySandbox::GetValue(HKEY_USERS, key, kDisableLockWorkstation, type, data) || data.size() != 4) {
            return -1;
        }
        DWORD value = 0;
        memcpy(&value, data.data(), 4);
        return value;
    }
    static void Notify(DWORD eventType)
    {
        EXPECT_EQ(ServiceCtrlHandler(SERVICE_CONTROL_SESSIONCHANGE, eventType, nullptr, nullptr),
                  static_cast<DWORD>(NO_ERROR));
    }
    // No session at the console from now on.
    static void DetachConsole()
    {
        win32.WTSGetActiveConsoleSessionId = [] { return DWORD(0xFFFFFFFF); };
    }

    RegistrySandbox sandbox;
    KWin32Override api;
    std::wstring user;
    std::wstring userSid;
    std::wstring policyKey;
};

TEST_F(SessionTracking, LogonAndUnlockRecordTheUserOtherChangesForgetIt)
{
    const DWORD types[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x1234};
    for (DWORD type : types) {
        SCOPED_TRACE(type);
        Notify(WTS_SESSION_LOGON);
        ASSERT_EQ(Policy(), 1);
        ASSERT_EQ(LoggedOnUserSid, userSid);
        // Bring the value to a third state so that the write shows.
        RegistrySandbox::SetDword(HKEY_USERS, policyKey, kDisableLockWorkstation, 7);

        Notify(type);
        const bool loggedOn = type == WTS_SESSION_LOGON || type == WTS_SESSION_UNLOCK;
        EXPECT_EQ(Policy(), loggedOn ? 1 : 0);
        EXPECT_EQ(LoggedOnUserSid, loggedOn ? userSid : std::wstring());
        EXPECT_EQ(MarkerExists(), loggedOn);
        EXPECT_EQ(static_cast<bool>(LogonMarkerEvent), loggedOn);
    }
}

TEST_F(SessionTracking, LockThenUnlockLowersThenRaisesAndRecreatesTheMarker)
{
    Notify(WTS_SESSION_LOGON);
    const HANDLE firstMarker = LogonMarkerEvent.get();
    ASSERT_NE(firstMarker, nullptr);

    Notify(WTS_SESSION_LOCK);
    EXPECT_EQ(Policy(), 0);
    EXPECT_TRUE(LoggedOnUserSid.empty());
    EXPECT_FALSE(MarkerExists());

    // The unlock looks the console user up again.
    int queries = 0;
    const auto realQuery = win32.WTSQuerySessionInformationW;
    win32.WTSQuerySessionInformationW = [&](HANDLE server, DWORD session, WTS_INFO_CLASS info, LPWSTR* buffer,
                                            DWORD* bytes) {
        ++queries;
        return realQuery(server, session, info, buffer, bytes);
    };
    Notify(WTS_SESSION_UNLOCK);
    EXPECT_EQ(queries, 1);
    EXPECT_EQ(Policy(), 1);
    EXPECT_EQ(LoggedOnUserSid, userSid);
    EXPECT_TRUE(MarkerExists());
}

TEST_F(SessionTracking, ALogonWithoutConsoleUserKeepsOnlyTheMarker)
{
    Notify(WTS_SESSION_LOGON);
    DetachConsole();
    bool keyTouched = false;
    win32.RegCreateKeyExW = [&](HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY,
                                LPDWORD) -> LONG {
        keyTouched = true;
        return ERROR_ACCESS_DENIED;
    };
    Notify(WTS_REMOTE_CONNECT);  // forgets the user
    keyTouched = false;
    Notify(WTS_SESSION_LOGON);
    EXPECT_TRUE(MarkerExists());
    EXPECT_TRUE(LoggedOnUserSid.empty());
    EXPECT_FALSE(keyTouched);
}

// A marker that someone made while the service was down keeps its creator's
// access list: one of anybody but SYSTEM or Administrators is not used, so
// that nobody can keep a marker alive the service does not hold.
TEST_F(SessionTracking, AMarkerThatSomeoneElseCreatedFirstIsNotUsed)
{
    struct Case {
        const wchar_t* owner;
        bool used;
    } const cases[] = {
        {L"S-1-5-21-1004336348-1177238915-682003330-1001", false},
        {L"S-1-1-0", false},
        {L"S-1-5-18", true},
        {L"S-1-5-32-544", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.owner));
        ResetServiceState();
        KWin32Override caseApi;
        ReportEveryObjectOwnedBy(c.owner);
        HANDLE first = CreateEventW(nullptr, TRUE, FALSE, kLogonMarkerName);
        ASSERT_NE(first, nullptr);

        Notify(WTS_SESSION_LOGON);

        EXPECT_EQ(static_cast<bool>(LogonMarkerEvent), c.used);
        EXPECT_EQ(LoggedOnUserSid, userSid) << "the user is recorded all the same";
        CloseHandle(first);
        ResetServiceState();
        EXPECT_FALSE(MarkerExists());
    }
}

TEST_F(SessionTracking, ALoggedOffChangeWithNobodyRecordedWritesZeroForAnEmptyName)
{
    std::vector<std::wstring> lookedUp;
    const auto realLookup = win32.LookupAccountNameW;
    win32.LookupAccountNameW = [&](LPCWSTR system, LPCWSTR name, PSID sid, LPDWORD sidSize, LPWSTR domain,
                                   LPDWORD domainChars, PSID_NAME_USE use) {
        lookedUp.push_back(name);
        return realLookup(system, name, sid, sidSize, domain, domainChars, use);
    };
    std::vector<DWORD> written;
    win32.RegSetValueExW = [&](HKEY, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) -> LONG {
        EXPECT_EQ(std::wstring(name), kDisableLockWorkstation);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(size, 4u);
        DWORD value = 0;
        memcpy(&value, data, sizeof(value));
        written.push_back(value);
        return ERROR_SUCCESS;
    };
    Notify(WTS_SESSION_LOGOFF);
    // The empty name is looked up like any other; here the system's lookup
    // resolves it, so a 0 is written for whatever account it names.
    EXPECT_EQ(lookedUp, std::vector<std::wstring>{L""});
    EXPECT_EQ(written, std::vector<DWORD>{0});
    EXPECT_TRUE(LoggedOnUserSid.empty());
    EXPECT_FALSE(MarkerExists());
}

TEST_F(SessionTracking, StartAppliesTheLoggedOnStateOnlyForAConsoleUser)
{
    ApplyLoggedOnStateAtStart();
    EXPECT_EQ(Policy(), 1);
    EXPECT_EQ(LoggedOnUserSid, userSid);
    EXPECT_TRUE(MarkerExists());

    ResetServiceState();
    RegistrySandbox::SetDword(HKEY_USERS, policyKey, kDisableLockWorkstation, 7);
    DetachConsole();
    ApplyLoggedOnStateAtStart();
    EXPECT_EQ(Policy(), 7);
    EXPECT_TRUE(LoggedOnUserSid.empty());
    EXPECT_FALSE(MarkerExists());
}

// The account recorded at logon is the one the session names (its token,
// else its qualified name), not a local account of the same bare name; and
// the 0 of a logoff goes to that same account, although by then the session
// gives neither a token nor a name, and no lookup finds the user.
TEST_F(SessionTracking, EachAccountGetsItsOneAtLogonAndItsZeroAtLogoffByTheSidRecorded)
{
    const std::wstring domainAnna = L"S-1-5-21-100-200-300-1104";
    const std::wstring localAnna = L"S-1-5-21-7-8-9-1001";
    const std::wstring entraAnna = L"S-1-12-1-1111-2222-3333-4444";
    const struct {
        const char* what;
        std::wstring domain;
        std::wstring tokenSid;
        std::map<std::wstring, std::wstring> accounts;
        std::wstring recorded;
    } cases[] = {
        {"a domain user whose bare name is a local account's", L"CORP", domainAnna,
         {{L"anna", localAnna}, {L"CORP\\anna", domainAnna}}, domainAnna},
        {"the same without a token", L"CORP", L"", {{L"anna", localAnna}, {L"CORP\\anna", domainAnna}},
         domainAnna},
        {"an Entra ID user", L"AzureAD", entraAnna, {{L"anna", localAnna}}, entraAnna},
        {"an Entra ID user without a token", L"AzureAD", L"", {{L"anna", localAnna}, {L"AzureAD\\anna", entraAnna}},
         entraAnna},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetServiceState();
        KWin32Override caseApi;
        FakeConsoleAccount console(L"anna", c.domain);
        console.tokenSid = c.tokenSid;
        console.accounts = c.accounts;

        Notify(WTS_SESSION_LOGON);
        EXPECT_EQ(LoggedOnUserSid, c.recorded);
        EXPECT_EQ(PolicyOf(c.recorded), 1);
        EXPECT_EQ(PolicyOf(localAnna), -1) << "written for the local namesake";

        // Logged off: the session tells nothing any more.
        console.userName.clear();
        console.domainName.clear();
        console.tokenSid.clear();
        console.accounts.clear();
        Notify(WTS_SESSION_LOGOFF);
        EXPECT_EQ(PolicyOf(c.recorded), 0);
        EXPECT_EQ(PolicyOf(localAnna), -1);
        EXPECT_TRUE(LoggedOnUserSid.empty());
        EXPECT_EQ(console.tokensOpen, 0);
        RegistrySandbox::DeleteValue(HKEY_USERS, c.recorded + L"\\" + kPolicySystemKey, kDisableLockWorkstation);
    }
}

TEST_F(SessionTracking, TeardownForgetsTheUserButLeavesValueAndMarker)
{
    Notify(WTS_SESSION_UNLOCK);
    ForgetLoggedOnUser();
    EXPECT_TRUE(LoggedOnUserSid.empty());
    EXPECT_EQ(Policy(), 1);
    EXPECT_TRUE(MarkerExists());
}

// The service's own run: a user at the console when it starts is recorded
// before the first hotkey is served, and keeps the value 1 after the stop.
TEST_F(SessionTracking, TheServiceAppliesTheUserBeforeServingAndLeavesOneAfterStop)
{
    const std::wstring hotkey = L"Session+" + std::to_wstring(GetCurrentProcessId());
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(hotkey), L"run", L"agent.exe");

    std::mutex mutex;
    std::vector<DWORD> states;
    win32.RegisterServiceCtrlHandlerExW = [](LPCWSTR, LPHANDLER_FUNCTION_EX, LPVOID) {
        return reinterpret_cast<SERVICE_STATUS_HANDLE>(0x77);
    };
    win32.SetServiceStatus = [&](SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
        std::lock_guard<std::mutex> hold(mutex);
        states.push_back(status->dwCurrentState);
        return TRUE;
    };
    std::atomic<int> launches{0};
    long long policyAtLaunch = -1;
    bool markerAtLaunch = false;
    win32.CreateProcessAsUserW = [&](HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                     DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
        policyAtLaunch = Policy();
        markerAtLaunch = MarkerExists();
        ++launches;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    };

    std::thread serviceMain([] { ServiceMain(0, nullptr); });
    // Press the hotkey as soon as its event exists.
    HANDLE event = nullptr;
    const std::wstring eventName = L"ZQKBFiltr" + hotkey;
    for (int i = 0; i < 1000 && event == nullptr; ++i) {
        event = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str());
        if (event == nullptr) {
            Sleep(5);
        }
    }
    ASSERT_NE(event, nullptr);
    for (int i = 0; i < 1000 && launches == 0; ++i) {
        SetEvent(event);
        Sleep(5);
    }
    CloseHandle(event);
    ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    serviceMain.join();

    ASSERT_GE(launches.load(), 1);
    EXPECT_EQ(policyAtLaunch, 1);
    EXPECT_TRUE(markerAtLaunch);
    EXPECT_EQ(states.back(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(Policy(), 1);
    EXPECT_TRUE(LoggedOnUserSid.empty());
}

// A hotkey dispatched while a session-change update holds the lock starts
// its command only after the update is complete.
TEST_F(SessionTracking, AHotkeyWaitsForAnUpdateInProgress)
{
    HotkeyCount = 1;
    HotkeyTable.reset(new HotkeyEntry[1]());
    HotkeyTable[0].event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    wcscpy(HotkeyTable[0].name, L"LWin+L");
    wcscpy(HotkeyTable[0].command, L"agent.exe");

    std::mutex mutex;
    std::vector<std::string> order;
    auto log = [&](const char* what) {
        std::lock_guard<std::mutex> hold(mutex);
        order.push_back(what);
    };
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE inUpdate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto realQuery = win32.WTSQuerySessionInformationW;
    win32.WTSQuerySessionInformationW = [&](HANDLE server, DWORD session, WTS_INFO_CLASS info, LPWSTR* buffer,
                                            DWORD* bytes) {
        SetEvent(inUpdate);
        WaitForSingleObject(release, INFINITE);
        return realQuery(server, session, info, buffer, bytes);
    };
    const auto realSet = win32.RegSetValueExW;
    win32.RegSetValueExW = [&](HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
        log("policy written");
        return realSet(key, name, reserved, type, data, size);
    };
    win32.CreateProcessAsUserW = [&](HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                     DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
        log("command started");
        return FALSE;
    };

    std::thread update([] { Notify(WTS_SESSION_UNLOCK); });
    ASSERT_EQ(WaitForSingleObject(inUpdate, 10000), WAIT_OBJECT_0);
    std::thread dispatch([] { DispatchHotkey(0); });
    // Give the dispatch every chance to run ahead; it must not.
    Sleep(200);
    {
        std::lock_guard<std::mutex> hold(mutex);
        EXPECT_TRUE(order.empty());
    }
    SetEvent(release);
    update.join();
    dispatch.join();
    EXPECT_EQ(order, (std::vector<std::string>{"policy written", "command started"}));

    HotkeyTable[0].event.Close();
    CloseHandle(release);
    CloseHandle(inUpdate);
}

}  // namespace
