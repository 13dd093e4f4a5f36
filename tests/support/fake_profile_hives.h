// Test support: the user profiles of a made-up PC, inside a RegistrySandbox,
// for what removal does to every profile's "DisableLockWorkstation".
//
// Every profile gets its entry in the profile list (below the sandboxed
// HKEY_LOCAL_MACHINE). A profile whose hive is loaded has its key
// HKEY_USERS\<SID> in the sandbox. A profile whose hive is not loaded has a
// hive file that exists only in this object: Windows' loading of hives
// cannot be tried under Wine (what is written into a loaded hive is not kept
// in its file), so RegLoadKeyW and RegUnLoadKeyW are substituted. A load
// puts the file's value below HKEY_USERS\<name> in the sandbox; an unload
// takes it back into the file and removes the key, and fails, as Windows
// does, while a key of that hive is still open. Loading and unloading need
// the backup and restore privileges enabled, whose state lives here too
// (OpenProcessToken for adjusting, LookupPrivilegeValueW and
// AdjustTokenPrivileges are substituted). GetFileAttributesW answers for the
// hive files. What it replaced is put back when it is destroyed.
#pragma once

#include "common/win32_api.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// A "DisableLockWorkstation" as stored: absent, or a type and its bytes.
struct PolicyValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    static PolicyValue Absent() { return PolicyValue(); }
    static PolicyValue Dword(DWORD value);
    static PolicyValue Text(const std::wstring& text);
    static PolicyValue Qword(unsigned long long value);
    bool operator==(const PolicyValue& other) const
    {
        return present == other.present && (!present || (type == other.type && data == other.data));
    }
};
std::string Describe(const PolicyValue& value);

class FakeProfileHives {
public:
    FakeProfileHives();
    ~FakeProfileHives();
    FakeProfileHives(const FakeProfileHives&) = delete;
    FakeProfileHives& operator=(const FakeProfileHives&) = delete;

    // A profile in the list whose hive is loaded under HKEY_USERS\<sid>.
    // `keyExists` false: not even the policy key exists in it.
    void AddLoaded(const std::wstring& sid, const PolicyValue& value, bool keyExists = true);
    // A profile in the list whose hive is not loaded: "ProfileImagePath" is
    // `folder` (REG_EXPAND_SZ), and its NTUSER.DAT holds `value`, or does not
    // exist when `fileExists` is false.
    void AddUnloaded(const std::wstring& sid, const std::wstring& folder, const PolicyValue& value,
                     bool fileExists = true);
    // The hive file of a profile added with AddUnloaded (expanded).
    std::wstring HiveFile(const std::wstring& sid) const;

    // The value now: from HKEY_USERS\<sid> for a loaded hive, from the file
    // for one that is not.
    PolicyValue ValueOf(const std::wstring& sid) const;

    // Hives loaded by RegLoadKeyW and not unloaded yet.
    std::size_t LoadedNow() const { return loaded_.size(); }
    bool PrivilegesEnabled() const { return backupEnabled && restoreEnabled; }
    // The state of the two privileges on the process's token.
    bool backupEnabled = false;
    bool restoreEnabled = false;

    // What RegLoadKeyW returns for a hive file (else it loads it).
    std::map<std::wstring, LONG> loadErrors;
    // Whether the process holds the privileges (an administrator's token not
    // elevated does not): AdjustTokenPrivileges then reports
    // ERROR_NOT_ALL_ASSIGNED and enables nothing.
    bool privilegesHeld = true;
    // How many of the next unloads fail (with ERROR_ACCESS_DENIED) although
    // no key is open.
    int unloadFailures = 0;

    // "enable privileges", "load <file>", "unload <file>", "restore
    // privileges", "unload refused: <n> key(s) open", in order.
    std::vector<std::string> calls;
    // Hive files that RegLoadKeyW was asked to load but do not exist (Windows
    // would make them).
    std::vector<std::wstring> made;

private:
    struct Hive {
        std::wstring sid;
        bool fileExists = true;
        PolicyValue value;
    };
    bool InHive(HKEY parent, const std::wstring& subkey, std::wstring& hiveName) const;

    std::map<std::wstring, Hive> files_;           // by hive file path
    std::map<std::wstring, std::wstring> loaded_;  // temporary name -> hive file
    std::map<HKEY, std::wstring> openKeys_;        // keys of loaded hives -> temporary name
    std::set<std::wstring> loadedSids_;
    KWin32Substitutes substitutes_;
};
