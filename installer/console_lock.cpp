#include "installer/console_lock.h"

#include "common/handles.h"
#include "common/lock_policy.h"
#include "common/profile_reset_rules.h"
#include "service/install.h"
#include "tools/ctl_messages.h"

#include <exception>

namespace {

const wchar_t kNotRunning[] = L"TarnwickSvc is not running; ";

// The value below the user's loaded hive; `reset.outcome` tells what was done.
void LowerConsoleUsersValue(ProfileReset& reset)
{
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(reset.sid.c_str(), path);
    KReg key;
    LONG result = win32.RegOpenKeyExW(HKEY_USERS, path, 0, KEY_QUERY_VALUE, &key.key);
    if (result == ERROR_FILE_NOT_FOUND) {
        reset.outcome = ProfileOutcome::Absent;
        return;
    }
    if (result != ERROR_SUCCESS) {
        reset.failure = L"cannot open its key " + std::wstring(kPolicySystemKey);
        reset.error = static_cast<std::uint32_t>(result);
        return;
    }
    DWORD type = REG_NONE;
    BYTE data[sizeof(DWORD)] = {};
    DWORD size = sizeof(data);
    result = win32.RegQueryValueExW(key.key, kDisableLockWorkstation, nullptr, &type, data, &size);
    key.Close();
    if (result == ERROR_FILE_NOT_FOUND) {
        reset.outcome = ProfileOutcome::Absent;
        return;
    }
    if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && !IsLockPolicyOne(type, data, size))) {
        reset.outcome = ProfileOutcome::NotOne;
        return;
    }
    if (result != ERROR_SUCCESS) {
        reset.failure = L"cannot read \"" + std::wstring(kDisableLockWorkstation) + L"\"";
        reset.error = static_cast<std::uint32_t>(result);
        return;
    }
    result = win32.RegOpenKeyExW(HKEY_USERS, path, 0, KEY_SET_VALUE, &key.key);
    if (result != ERROR_SUCCESS) {
        reset.failure = L"cannot open its key " + std::wstring(kPolicySystemKey) + L" for writing";
        reset.error = static_cast<std::uint32_t>(result);
        return;
    }
    const DWORD zero = 0;
    result = win32.RegSetValueExW(key.key, kDisableLockWorkstation, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                                  sizeof(zero));
    if (result != ERROR_SUCCESS) {
        reset.failure = L"cannot write \"" + std::wstring(kDisableLockWorkstation) + L"\"";
        reset.error = static_cast<std::uint32_t>(result);
        return;
    }
    win32.RegFlushKey(key.key);
    reset.outcome = ProfileOutcome::Lowered;
}

}  // namespace

void GiveConsoleUserTheLockBack(const ReportLine& report)
{
    ProfileReset reset;
    std::wstring user;
    if (!GetConsoleUserSid(reset.sid, &user)) {
        report(user.empty() ? std::wstring(kNotRunning) +
                                  L"nobody is logged on at the console, whose lock policy it would set from 1 to 0."
                            : std::wstring(kNotRunning) + L"the account of the console user " + user +
                                  L" cannot be found: its lock policy is left as it is.");
        return;
    }
    LowerConsoleUsersValue(reset);
    report(std::wstring(kNotRunning) + L"the console user's lock policy: " +
           ProfileResetLine(reset, [](std::uint32_t error) { return ExplainError(error); }));
}

ServiceStart StartServiceOrGiveTheLockBack(const ReportLine& report)
{
    ServiceStart outcome = ServiceStart::Failed;
    try {
        outcome = StartServiceIfConfigured(report);
    } catch (const std::exception&) {
        // Memory ran out on the way: a start that failed, after which the
        // service may well not run.
        report(L"TarnwickSvc may not have been started: the custom action ran out of memory.");
    }
    switch (outcome) {
    case ServiceStart::Started:
    case ServiceStart::AlreadyRunning:
    case ServiceStart::StillStarting:
        break;
    case ServiceStart::NotConfigured:
    case ServiceStart::StoppedDuringStart:
    case ServiceStart::Failed:
        GiveConsoleUserTheLockBack(report);
        break;
    }
    return outcome;
}

void StopServiceAndGiveTheLockBack(const ReportLine& report)
{
    StopService();
    report(L"the install is rolled back: TarnwickSvc is stopped.");
    GiveConsoleUserTheLockBack(report);
}
