#include "installer/console_lock.h"

#include "common/handles.h"
#include "common/lock_policy.h"
#include "common/profile_lock_policy.h"
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
    LowerLockPolicyValue(HKEY_USERS, path, reset);
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
