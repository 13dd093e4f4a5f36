#include "tools/lock_policy_verb.h"

#include "common/handles.h"
#include "common/lock_policy.h"
#include "common/profile_lock_policy.h"
#include "common/registry_reading.h"
#include "tools/ctl_messages.h"
#include "tools/registry_values.h"

namespace {

std::wstring PolicyOf(const std::wstring& user)
{
    return L"\"" + std::wstring(kDisableLockWorkstation) + L"\" of " + user;
}

// Why the write did not succeed, from the step that failed and its error.
std::wstring WhyNotWritten(const std::wstring& user, const std::wstring& sid, const LockPolicyWrite& write)
{
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(sid.c_str(), path);
    const DWORD error = static_cast<DWORD>(write.error);
    if (write.failed == LockPolicyWrite::Step::OpenKey) {
        return FormatFailure(L"cannot write " + PolicyOf(user) + L": cannot open or create HKEY_USERS\\" + path, error,
                              L"the user's registry may not be loaded; log the user on at the console first");
    }
    return FormatFailure(L"cannot write " + PolicyOf(user) + L" under HKEY_USERS\\" + path, error);
}

std::wstring Meaning(DWORD value, const std::wstring& user)
{
    return value == 1 ? L"Windows does not let " + user + L" lock the workstation itself"
                      : user + L" can lock the workstation";
}

std::wstring ErrorTextOfCode(std::uint32_t error)
{
    return ExplainError(error);
}

// lock-policy 0 --all-users.
int GiveEveryUserBackTheLock(KCtlOutput& output)
{
    const ProfilesReset reset = LowerLockPolicyOfEveryProfile();
    for (const ProfileReset& profile : reset.profiles) {
        output.Out(ProfileResetLine(profile, &ErrorTextOfCode) + L"\n");
    }
    if (!reset.listed) {
        output.Err(FormatFailure(L"cannot read the user profiles under " + QualifyMachinePath(kProfileListKeyPath),
                                  reset.listError));
        return kExitFailed;
    }
    output.Out(ProfilesResetSummary(reset) + L"\n");
    if (reset.AnyFailure()) {
        output.Err(L"TarnwickCtl: not every user profile was given the lock back (see the lines above): run it "
                   L"from an elevated prompt, which has the backup and restore privileges that loading a "
                   L"profile's hive needs; a hive that another program holds open cannot be loaded\n");
        return kExitFailed;
    }
    return 0;
}

}  // namespace

bool LockPolicyReading::Number(DWORD& value) const
{
    const std::optional<std::uint32_t> number = Present() ? DecodeDword(type, data) : std::nullopt;
    if (!number) {
        return false;
    }
    value = *number;
    return true;
}

bool ReadConsoleUserLockPolicy(std::wstring& user, LockPolicyReading& reading)
{
    reading = LockPolicyReading();
    std::wstring sid;
    reading.sidFound = GetConsoleUserSid(sid, &user);
    if (!reading.sidFound) {
        reading.sidError = win32.GetLastError();
        return !user.empty();
    }
    reading.sid = sid;
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(sid.c_str(), path);
    reading.keyPath = path;

    KReg key;
    reading.result = win32.RegOpenKeyExW(HKEY_USERS, path, 0, KEY_QUERY_VALUE, &key.key);
    if (reading.result == ERROR_SUCCESS) {
        reading.result = ReadRegistryValue(key.key, kDisableLockWorkstation, reading.type, reading.data);
    }
    return true;
}

int RunLockPolicyVerb(const CtlCommand& command, KCtlOutput& output)
{
    if (command.allUsers) {
        return GiveEveryUserBackTheLock(output);
    }
    std::wstring user;
    LockPolicyReading reading;
    if (!ReadConsoleUserLockPolicy(user, reading)) {
        if (reading.sidError != ERROR_SUCCESS) {
            // Not an empty console: the question who is at it failed.
            output.Err(FormatFailure(L"cannot tell who is logged on at the console", reading.sidError));
            return kExitFailed;
        }
        output.Err(L"TarnwickCtl: no user is logged on at the console, so there is no \"" +
                   std::wstring(kDisableLockWorkstation) + L"\" to " + (command.setPolicy ? L"set" : L"show") +
                   L": run it again while the user is logged on\n");
        return kExitFailed;
    }
    if (command.setPolicy) {
        if (!reading.sidFound) {
            output.Err(FormatFailure(L"cannot look up the SID of the account \"" + user + L"\"", reading.sidError,
                                      L"check that the account exists on this PC"));
            return kExitFailed;
        }
        const LockPolicyWrite write = WriteLockWorkstationPolicy(reading.sid.c_str(), command.policyValue);
        if (!write.Written()) {
            output.Err(WhyNotWritten(user, reading.sid, write));
            return kExitFailed;
        }
        output.Out(PolicyOf(user) + L" set to " + std::to_wstring(command.policyValue) + L": " +
                   Meaning(command.policyValue, user) + L"\n");
        return 0;
    }
    if (!reading.sidFound) {
        output.Err(FormatFailure(L"cannot look up the SID of the account \"" + user + L"\"", reading.sidError));
        return kExitFailed;
    }
    DWORD value = 0;
    if (reading.Absent()) {
        output.Out(PolicyOf(user) + L": absent: " + Meaning(0, user) + L"\n");
    } else if (reading.Number(value)) {
        output.Out(PolicyOf(user) + L": " + std::to_wstring(value) + L": " + Meaning(value, user) + L"\n");
    } else if (reading.Present()) {
        output.Out(PolicyOf(user) + L": " + FormatValue(reading.type, reading.data) + L"\n");
    } else {
        output.Err(FormatFailure(L"cannot read " + PolicyOf(user) + L" under HKEY_USERS\\" + reading.keyPath,
                                  static_cast<DWORD>(reading.result)));
        return kExitFailed;
    }
    return 0;
}
