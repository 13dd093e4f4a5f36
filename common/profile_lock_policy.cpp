#include "common/profile_lock_policy.h"

#include "common/handles.h"
#include "common/lock_policy_path.h"
#include "common/registry_reading.h"

#include <cstring>
#include <vector>

namespace {

// A hive that cannot be unloaded at once (a program still has a key of it
// open for a moment) is tried again, after a pause, up to this many times in
// all: a hive left loaded keeps its user's profile from being loaded at the
// user's logon.
constexpr int kUnloadAttempts = 3;
constexpr DWORD kUnloadPauseMs = 100;
// Key names are at most 255 characters.
constexpr DWORD kKeyNameChars = 256;

void Skip(ProfileReset& reset, const std::wstring& failure, LONG error)
{
    reset.outcome = ProfileOutcome::Skipped;
    reset.failure = failure;
    reset.error = static_cast<std::uint32_t>(error);
}

// Enables SE_BACKUP_NAME and SE_RESTORE_NAME on the process's token, which
// Microsoft documents RegLoadKeyW and RegUnLoadKeyW to need, and puts back
// what it changed when it is destroyed.
class KHivePrivileges {
public:
    KHivePrivileges() = default;
    ~KHivePrivileges()
    {
        if (adjusted_ && Previous()->PrivilegeCount != 0) {
            win32.AdjustTokenPrivileges(token_.get(), FALSE, Previous(), 0, nullptr, nullptr);
        }
    }
    KHivePrivileges(const KHivePrivileges&) = delete;
    KHivePrivileges& operator=(const KHivePrivileges&) = delete;

    // Once. A privilege that cannot be enabled is not reported here: the
    // load then fails with ERROR_PRIVILEGE_NOT_HELD, which says it.
    void Enable()
    {
        if (tried_) {
            return;
        }
        tried_ = true;
        if (!win32.OpenProcessToken(win32.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                    token_.put())) {
            return;
        }
        alignas(TOKEN_PRIVILEGES) BYTE wanted[kStateBytes] = {};
        auto* state = reinterpret_cast<TOKEN_PRIVILEGES*>(wanted);
        const wchar_t* const names[] = {L"SeBackupPrivilege", L"SeRestorePrivilege"};
        for (DWORD i = 0; i < 2; ++i) {
            if (!win32.LookupPrivilegeValueW(nullptr, names[i], &state->Privileges[i].Luid)) {
                return;
            }
            state->Privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
        }
        state->PrivilegeCount = 2;
        DWORD returned = 0;
        // Succeeds also when a privilege is not held (ERROR_NOT_ALL_ASSIGNED);
        // the previous state then holds what was changed.
        adjusted_ = win32.AdjustTokenPrivileges(token_.get(), FALSE, state, kStateBytes, Previous(), &returned) !=
                    FALSE;
    }

private:
    static constexpr DWORD kStateBytes = sizeof(TOKEN_PRIVILEGES) + sizeof(LUID_AND_ATTRIBUTES);

    TOKEN_PRIVILEGES* Previous() { return reinterpret_cast<TOKEN_PRIVILEGES*>(previous_); }

    KHandle token_;
    bool tried_ = false;
    bool adjusted_ = false;
    alignas(TOKEN_PRIVILEGES) BYTE previous_[kStateBytes] = {};
};

// A profile's hive loaded under its temporary name below HKEY_USERS, unloaded
// when this is destroyed. Every key of the hive must be closed by then.
class KLoadedHive {
public:
    explicit KLoadedHive(ProfileReset& reset) : reset_(reset) {}
    ~KLoadedHive()
    {
        if (!loaded_) {
            return;
        }
        LONG result = ERROR_SUCCESS;
        for (int attempt = 1; attempt <= kUnloadAttempts; ++attempt) {
            result = win32.RegUnLoadKeyW(HKEY_USERS, reset_.temporaryName.c_str());
            if (result == ERROR_SUCCESS) {
                return;
            }
            if (attempt < kUnloadAttempts) {
                win32.Sleep(kUnloadPauseMs);
            }
        }
        reset_.unloadError = static_cast<std::uint32_t>(result);
    }
    KLoadedHive(const KLoadedHive&) = delete;
    KLoadedHive& operator=(const KLoadedHive&) = delete;

    LONG Load()
    {
        const LONG result = win32.RegLoadKeyW(HKEY_USERS, reset_.temporaryName.c_str(), reset_.hiveFile.c_str());
        loaded_ = result == ERROR_SUCCESS;
        return result;
    }

private:
    ProfileReset& reset_;
    bool loaded_ = false;
};

// The value below the root of a user's hive.
void LowerInHive(HKEY hive, ProfileReset& reset)
{
    LowerLockPolicyValue(hive, kPolicySystemKey, reset);
}

// The profile's folder from its "ProfileImagePath" (REG_EXPAND_SZ, expanded;
// or REG_SZ), without a trailing backslash.
LONG ReadProfileFolder(HKEY profileList, const std::wstring& sid, std::wstring& folder)
{
    KReg profile;
    LONG result = win32.RegOpenKeyExW(profileList, sid.c_str(), 0, KEY_QUERY_VALUE, &profile.key);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    DWORD type = 0;
    std::vector<BYTE> stored;
    result = ReadRegistryValue(profile.key, kProfileImagePathValue, type, stored);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return ERROR_INVALID_DATA;
    }
    // The text up to its first NUL, or to the end of a value without one.
    std::wstring path(stored.size() / sizeof(wchar_t), L'\0');
    if (!path.empty()) {
        std::memcpy(&path[0], stored.data(), path.size() * sizeof(wchar_t));
    }
    const size_t end = path.find(L'\0');
    if (end != std::wstring::npos) {
        path.erase(end);
    }
    if (type == REG_EXPAND_SZ) {
        const DWORD chars = win32.ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
        if (chars == 0) {
            return static_cast<LONG>(win32.GetLastError());
        }
        std::vector<wchar_t> expanded(chars + 1, L'\0');
        if (win32.ExpandEnvironmentStringsW(path.c_str(), expanded.data(), chars + 1) == 0) {
            return static_cast<LONG>(win32.GetLastError());
        }
        path = expanded.data();
    }
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    if (path.empty()) {
        return ERROR_INVALID_DATA;
    }
    folder.swap(path);
    return ERROR_SUCCESS;
}

// The hive file, loaded for the moment of the write.
void LowerInHiveFile(HKEY profileList, ProfileReset& reset, KHivePrivileges& privileges, std::uint32_t& loads)
{
    std::wstring folder;
    const LONG read = ReadProfileFolder(profileList, reset.sid, folder);
    if (read != ERROR_SUCCESS) {
        Skip(reset, L"its hive is not loaded, and its " + std::wstring(kProfileImagePathValue) + L" cannot be read",
             read);
        return;
    }
    reset.hiveFile = folder + L"\\" + kUserHiveFileName;
    // RegLoadKeyW makes a new, empty hive file where none exists; a profile
    // without one has nothing to lower.
    if (win32.GetFileAttributesW(reset.hiveFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Skip(reset, L"its hive " + reset.hiveFile + L" cannot be found", static_cast<LONG>(win32.GetLastError()));
        return;
    }
    reset.temporaryName = TemporaryHiveName(win32.GetCurrentProcessId(), ++loads);
    privileges.Enable();
    KLoadedHive hive(reset);
    const LONG loaded = hive.Load();
    if (loaded != ERROR_SUCCESS) {
        Skip(reset, L"cannot load its hive " + reset.hiveFile, loaded);
        return;
    }
    KReg root;
    const LONG opened = win32.RegOpenKeyExW(HKEY_USERS, reset.temporaryName.c_str(), 0, KEY_READ, &root.key);
    if (opened != ERROR_SUCCESS) {
        Skip(reset, L"cannot open its hive " + reset.hiveFile + L", loaded as HKEY_USERS\\" + reset.temporaryName,
             opened);
        return;
    }
    LowerInHive(root.key, reset);
}

}  // namespace

ProfilesReset LowerLockPolicyOfEveryProfile()
{
    ProfilesReset result;
    KReg profileList;
    const LONG opened = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileListKeyPath, 0, KEY_READ, &profileList.key);
    if (opened != ERROR_SUCCESS) {
        result.listError = static_cast<std::uint32_t>(opened);
        return result;
    }
    std::vector<std::wstring> sids;
    result.listed = true;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kKeyNameChars] = {};
        DWORD chars = kKeyNameChars;
        const LONG enumerated =
            win32.RegEnumKeyExW(profileList.key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (enumerated == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (enumerated != ERROR_SUCCESS) {
            // What was found so far is still given its lock back.
            result.listed = false;
            result.listError = static_cast<std::uint32_t>(enumerated);
            break;
        }
        if (IsUserProfileSid(name)) {
            sids.emplace_back(name);
        }
    }

    // Destroyed last: every hive loaded below is unloaded before the
    // privileges go back.
    KHivePrivileges privileges;
    std::uint32_t loads = 0;
    result.profiles.reserve(sids.size());
    for (const std::wstring& sid : sids) {
        result.profiles.emplace_back();
        ProfileReset& reset = result.profiles.back();
        reset.sid = sid;
        KReg hive;
        const LONG loaded = win32.RegOpenKeyExW(HKEY_USERS, sid.c_str(), 0, KEY_READ, &hive.key);
        if (loaded == ERROR_SUCCESS) {
            LowerInHive(hive.key, reset);
        } else if (loaded == ERROR_FILE_NOT_FOUND) {
            LowerInHiveFile(profileList.key, reset, privileges, loads);
        } else {
            Skip(reset, L"cannot open its hive HKEY_USERS\\" + sid, loaded);
        }
    }
    return result;
}

void LowerLockPolicyValue(HKEY root, const wchar_t* keyPath, ProfileReset& reset)
{
    const std::wstring value = L"\"" + std::wstring(kDisableLockWorkstation) + L"\"";
    KReg key;
    LONG result = win32.RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE, &key.key);
    if (result == ERROR_FILE_NOT_FOUND) {
        reset.outcome = ProfileOutcome::Absent;
        return;
    }
    if (result != ERROR_SUCCESS) {
        Skip(reset, L"cannot open its key " + std::wstring(kPolicySystemKey), result);
        return;
    }
    DWORD type = 0;
    BYTE data[sizeof(DWORD)] = {};
    DWORD size = sizeof(data);
    result = win32.RegQueryValueExW(key.key, kDisableLockWorkstation, nullptr, &type, data, &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        reset.outcome = ProfileOutcome::Absent;
        return;
    }
    if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && !IsLockPolicyOne(type, data, size))) {
        reset.outcome = ProfileOutcome::NotOne;
        return;
    }
    if (result != ERROR_SUCCESS) {
        Skip(reset, L"cannot read " + value, result);
        return;
    }
    key.Close();
    result = win32.RegOpenKeyExW(root, keyPath, 0, KEY_SET_VALUE, &key.key);
    if (result != ERROR_SUCCESS) {
        Skip(reset, L"cannot open its key " + std::wstring(kPolicySystemKey) + L" for writing", result);
        return;
    }
    const DWORD zero = 0;
    result = win32.RegSetValueExW(key.key, kDisableLockWorkstation, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                                  sizeof(zero));
    if (result != ERROR_SUCCESS) {
        Skip(reset, L"cannot write " + value, result);
        return;
    }
    win32.RegFlushKey(key.key);
    reset.outcome = ProfileOutcome::Lowered;
}
