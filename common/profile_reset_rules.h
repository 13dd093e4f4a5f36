// Giving every user profile of the PC back the lock: which profiles are
// concerned, when a value is lowered, the temporary names of hives loaded
// for the moment of a write, and the one line that tells each profile's
// outcome. Needs no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The key that lists the PC's user profiles, below HKEY_LOCAL_MACHINE: one
// subkey per profile, named after the account's SID string, with the
// profile's folder as "ProfileImagePath".
constexpr const wchar_t* kProfileListKeyPath = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const wchar_t* kProfileImagePathValue = L"ProfileImagePath";
// The user's hive file in the profile's folder.
constexpr const wchar_t* kUserHiveFileName = L"NTUSER.DAT";

// True for the SID string of a user's account: a local or domain account
// ("S-1-5-21-" and its numbers) or an Entra ID account ("S-1-12-1-" and its
// numbers). Not for the service accounts (S-1-5-18, -19, -20), nor for a
// backup entry that Windows leaves beside a profile ("S-1-5-21-...-1001.bak").
bool IsUserProfileSid(const std::wstring& name);

// True when a value of `type` holding `data` is the REG_DWORD 1 that removal
// lowers to 0; any other value, and an absent one, stays as it is.
bool IsLockPolicyOne(std::uint32_t type, const std::uint8_t* data, std::size_t size);

// The name under HKEY_USERS at which a profile's hive is loaded for the
// moment of the write: unique in the process and, through its id, on the PC.
std::wstring TemporaryHiveName(std::uint32_t processId, std::uint32_t counter);

enum class ProfileOutcome {
    Lowered,  // the value was 1 and is 0 now
    Absent,   // there is no value (or not even the key): left as it is
    NotOne,   // the value is something else than the REG_DWORD 1: left as it is
    Skipped,  // something failed: see `failure` and `error`
};

// What happened to one profile.
struct ProfileReset {
    std::wstring sid;
    // Empty when the hive was loaded already (the user is logged on, or
    // another program holds it); else the hive file loaded for the write.
    std::wstring hiveFile;
    ProfileOutcome outcome = ProfileOutcome::Skipped;
    // Skipped: what could not be done ("cannot load the hive C:\...").
    std::wstring failure;
    std::uint32_t error = 0;
    // Not 0 when the hive loaded for the write could not be unloaded again.
    std::uint32_t unloadError = 0;
    std::wstring temporaryName;  // where it was loaded
};

// Every profile's outcome; `listed` false when the profile list itself
// could not be read (`listError`).
struct ProfilesReset {
    bool listed = false;
    std::uint32_t listError = 0;
    std::vector<ProfileReset> profiles;

    std::size_t Count(ProfileOutcome outcome) const;
    // A profile skipped, or a hive left loaded.
    bool AnyFailure() const;
};

// Turns a Windows error into text for the lines below, e.g.
// "error 32: The process cannot access the file ...".
using ErrorTextOf = std::wstring (*)(std::uint32_t error);

// One line on a profile, without a line break, e.g.
//   S-1-5-21-1-2-3-1001: "DisableLockWorkstation" set from 1 to 0 (hive loaded)
//   S-1-5-21-1-2-3-1002: "DisableLockWorkstation" set from 1 to 0 (in C:\Users\b\NTUSER.DAT, loaded for the write)
//   S-1-5-21-1-2-3-1003: "DisableLockWorkstation" absent: left as it is
//   S-1-5-21-1-2-3-1005: skipped: cannot load the hive C:\Users\c\NTUSER.DAT (error 32: ...)
std::wstring ProfileResetLine(const ProfileReset& reset, ErrorTextOf errorText);

// "3 user profiles: 1 set from 1 to 0, 1 left as it is, 1 skipped".
std::wstring ProfilesResetSummary(const ProfilesReset& reset);
