#include "common/profile_reset_rules.h"

#include "common/lock_policy_path.h"
#include "common/names.h"

namespace {

constexpr std::uint32_t kRegDword = 4;

// `prefix` (compared without regard to ASCII case) followed by one or more
// numbers separated by single dashes.
bool IsSidWithPrefix(const std::wstring& name, const wchar_t* prefix)
{
    const std::wstring start(prefix);
    if (name.size() <= start.size() || !NamesEqual(name.substr(0, start.size()), start.c_str())) {
        return false;
    }
    bool digitBefore = false;
    for (std::size_t i = start.size(); i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (c >= L'0' && c <= L'9') {
            digitBefore = true;
        } else if (c == L'-' && digitBefore) {
            digitBefore = false;
        } else {
            return false;
        }
    }
    return digitBefore;
}

std::wstring Quoted(const wchar_t* text)
{
    return L"\"" + std::wstring(text) + L"\"";
}

std::wstring Plural(std::size_t count, const wchar_t* one, const wchar_t* many)
{
    return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

}  // namespace

bool IsUserProfileSid(const std::wstring& name)
{
    return IsSidWithPrefix(name, L"S-1-5-21-") || IsSidWithPrefix(name, L"S-1-12-1-");
}

bool IsLockPolicyOne(std::uint32_t type, const std::uint8_t* data, std::size_t size)
{
    return type == kRegDword && size == 4 && data != nullptr && data[0] == 1 && data[1] == 0 && data[2] == 0 &&
           data[3] == 0;
}

std::wstring TemporaryHiveName(std::uint32_t processId, std::uint32_t counter)
{
    return L"TarnwickProfile-" + std::to_wstring(processId) + L"-" + std::to_wstring(counter);
}

std::size_t ProfilesReset::Count(ProfileOutcome outcome) const
{
    std::size_t count = 0;
    for (const ProfileReset& profile : profiles) {
        count += profile.outcome == outcome ? 1 : 0;
    }
    return count;
}

bool ProfilesReset::AnyFailure() const
{
    for (const ProfileReset& profile : profiles) {
        if (profile.outcome == ProfileOutcome::Skipped || profile.unloadError != 0) {
            return true;
        }
    }
    return false;
}

std::wstring ProfileResetLine(const ProfileReset& reset, ErrorTextOf errorText)
{
    const std::wstring value = Quoted(kDisableLockWorkstation);
    const std::wstring where = reset.hiveFile.empty() ? L"hive loaded"
                                                      : L"in " + reset.hiveFile + L", loaded for the write";
    std::wstring line = reset.sid + L": ";
    switch (reset.outcome) {
    case ProfileOutcome::Lowered:
        line += value + L" set from 1 to 0 (" + where + L")";
        break;
    case ProfileOutcome::Absent:
        line += value + L" absent: left as it is";
        break;
    case ProfileOutcome::NotOne:
        line += value + L" is not the number 1: left as it is";
        break;
    case ProfileOutcome::Skipped:
        line += L"skipped: " + reset.failure + L" (" + errorText(reset.error) + L")";
        break;
    }
    if (reset.unloadError != 0) {
        line += L"; the hive could not be unloaded again (" + errorText(reset.unloadError) +
                L"): it stays loaded as HKEY_USERS\\" + reset.temporaryName +
                L" until the PC restarts, and Windows cannot load it for a logon of that user before then";
    }
    return line;
}

std::wstring ProfilesResetSummary(const ProfilesReset& reset)
{
    const std::size_t left = reset.Count(ProfileOutcome::Absent) + reset.Count(ProfileOutcome::NotOne);
    return Plural(reset.profiles.size(), L"user profile", L"user profiles") + L": " +
           std::to_wstring(reset.Count(ProfileOutcome::Lowered)) + L" set from 1 to 0, " + std::to_wstring(left) +
           L" left as it is, " + std::to_wstring(reset.Count(ProfileOutcome::Skipped)) + L" skipped";
}
