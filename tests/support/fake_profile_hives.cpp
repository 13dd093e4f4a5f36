#include "tests/support/fake_profile_hives.h"

#include "common/lock_policy_path.h"
#include "common/profile_reset_rules.h"
#include "tests/support/narrow_text.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const HANDLE kPrivilegeToken = reinterpret_cast<HANDLE>(0x7B17);
const LUID kBackup = {17, 0};
const LUID kRestore = {18, 0};

std::wstring ProfileKey(const std::wstring& sid)
{
    return std::wstring(kProfileListKeyPath) + L"\\" + sid;
}

std::wstring PolicyKeyBelow(const std::wstring& hive)
{
    return hive + L"\\" + kPolicySystemKey;
}

std::wstring Expanded(const std::wstring& text)
{
    wchar_t buffer[1024] = {};
    EXPECT_NE(ExpandEnvironmentStringsW(text.c_str(), buffer, 1024), 0u);
    return buffer;
}

void Store(const std::wstring& hive, const PolicyValue& value)
{
    RegistrySandbox::CreateKey(HKEY_USERS, PolicyKeyBelow(hive));
    if (value.present) {
        RegistrySandbox::SetValue(HKEY_USERS, PolicyKeyBelow(hive), kDisableLockWorkstation, value.type,
                                  value.data.data(), static_cast<DWORD>(value.data.size()));
    }
}

PolicyValue Read(const std::wstring& hive)
{
    PolicyValue value;
    value.present = RegistrySandbox::GetValue(HKEY_USERS, PolicyKeyBelow(hive), kDisableLockWorkstation, value.type,
                                              value.data);
    return value;
}

bool SameLuid(const LUID& a, const LUID& b)
{
    return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

}  // namespace

PolicyValue PolicyValue::Dword(DWORD number)
{
    PolicyValue value;
    value.present = true;
    value.type = REG_DWORD;
    const auto* bytes = reinterpret_cast<const BYTE*>(&number);
    value.data.assign(bytes, bytes + sizeof(number));
    return value;
}

PolicyValue PolicyValue::Text(const std::wstring& text)
{
    PolicyValue value;
    value.present = true;
    value.type = REG_SZ;
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    return value;
}

PolicyValue PolicyValue::Qword(unsigned long long number)
{
    PolicyValue value;
    value.present = true;
    value.type = REG_QWORD;
    const auto* bytes = reinterpret_cast<const BYTE*>(&number);
    value.data.assign(bytes, bytes + sizeof(number));
    return value;
}

std::string Describe(const PolicyValue& value)
{
    if (!value.present) {
        return "absent";
    }
    std::string text = "type " + std::to_string(value.type) + ":";
    for (BYTE b : value.data) {
        text += " " + std::to_string(b);
    }
    return text;
}

FakeProfileHives::FakeProfileHives()
{
    substitutes_.Replace(&Win32Api::RegLoadKeyW, [this](HKEY root, LPCWSTR name, LPCWSTR file) -> LONG {
        EXPECT_EQ(root, HKEY_USERS);
        if (!PrivilegesEnabled()) {
            return ERROR_PRIVILEGE_NOT_HELD;
        }
        const auto error = loadErrors.find(file);
        if (error != loadErrors.end()) {
            return error->second;
        }
        EXPECT_EQ(loaded_.count(name), 0u) << "a name already in use";
        auto hive = files_.find(file);
        if (hive == files_.end() || !hive->second.fileExists) {
            made.push_back(file);
        }
        RegistrySandbox::CreateKey(HKEY_USERS, name);
        if (hive != files_.end() && hive->second.fileExists) {
            Store(name, hive->second.value);
        }
        loaded_[name] = file;
        calls.push_back("load " + Narrow(file));
        return ERROR_SUCCESS;
    });
    substitutes_.Replace(&Win32Api::RegUnLoadKeyW, [this](HKEY root, LPCWSTR name) -> LONG {
        EXPECT_EQ(root, HKEY_USERS);
        if (!PrivilegesEnabled()) {
            return ERROR_PRIVILEGE_NOT_HELD;
        }
        const auto hive = loaded_.find(name);
        if (hive == loaded_.end()) {
            ADD_FAILURE() << "unload of a hive that is not loaded: " << Narrow(name);
            return ERROR_INVALID_PARAMETER;
        }
        size_t open = 0;
        for (const auto& key : openKeys_) {
            open += key.second == name ? 1 : 0;
        }
        if (open != 0) {
            calls.push_back("unload refused: " + std::to_string(open) + " key(s) open");
            return ERROR_ACCESS_DENIED;
        }
        if (unloadFailures > 0) {
            --unloadFailures;
            calls.push_back("unload failed");
            return ERROR_ACCESS_DENIED;
        }
        const auto file = files_.find(hive->second);
        if (file != files_.end() && file->second.fileExists) {
            file->second.value = Read(name);
        }
        RegDeleteTreeW(HKEY_USERS, name);
        RegDeleteKeyW(HKEY_USERS, name);
        calls.push_back("unload " + Narrow(hive->second));
        loaded_.erase(hive);
        return ERROR_SUCCESS;
    });
    const auto open = win32.RegOpenKeyExW;
    substitutes_.Replace(&Win32Api::RegOpenKeyExW, [this, open](HKEY parent, LPCWSTR subkey, DWORD options,
                                                                 REGSAM access, PHKEY result) -> LONG {
        std::wstring hive;
        const bool inHive = InHive(parent, subkey != nullptr ? subkey : L"", hive);
        const LONG opened = open(parent, subkey, options, access, result);
        if (opened == ERROR_SUCCESS && inHive) {
            openKeys_[*result] = hive;
        }
        return opened;
    });
    const auto close = win32.RegCloseKey;
    substitutes_.Replace(&Win32Api::RegCloseKey, [this, close](HKEY key) -> LONG {
        openKeys_.erase(key);
        return close(key);
    });
    const auto openToken = win32.OpenProcessToken;
    substitutes_.Replace(&Win32Api::OpenProcessToken, [openToken](HANDLE process, DWORD access,
                                                                  PHANDLE token) -> BOOL {
        if ((access & TOKEN_ADJUST_PRIVILEGES) == 0) {
            return openToken(process, access, token);
        }
        EXPECT_EQ(process, GetCurrentProcess());
        *token = kPrivilegeToken;
        return TRUE;
    });
    const auto closeHandle = win32.CloseHandle;
    substitutes_.Replace(&Win32Api::CloseHandle, [closeHandle](HANDLE handle) -> BOOL {
        return handle == kPrivilegeToken ? TRUE : closeHandle(handle);
    });
    substitutes_.Replace(&Win32Api::LookupPrivilegeValueW, [](LPCWSTR system, LPCWSTR name, PLUID luid) -> BOOL {
        EXPECT_EQ(system, nullptr);
        if (std::wcscmp(name, L"SeBackupPrivilege") == 0) {
            *luid = kBackup;
        } else if (std::wcscmp(name, L"SeRestorePrivilege") == 0) {
            *luid = kRestore;
        } else {
            ::SetLastError(ERROR_NO_SUCH_PRIVILEGE);
            return FALSE;
        }
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::AdjustTokenPrivileges,
                         [this](HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                PTOKEN_PRIVILEGES previous, PDWORD returned) -> BOOL {
        EXPECT_EQ(token, kPrivilegeToken);
        EXPECT_FALSE(disableAll);
        bool notAll = false;
        bool enabling = false;
        DWORD changed = 0;
        for (DWORD i = 0; i < state->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& wanted = state->Privileges[i];
            bool* flag = SameLuid(wanted.Luid, kBackup)    ? &backupEnabled
                         : SameLuid(wanted.Luid, kRestore) ? &restoreEnabled
                                                           : nullptr;
            if (flag == nullptr) {
                ADD_FAILURE() << "another privilege";
                continue;
            }
            const bool enable = (wanted.Attributes & SE_PRIVILEGE_ENABLED) != 0;
            enabling = enabling || enable;
            if (enable && !privilegesHeld) {
                notAll = true;
                continue;
            }
            if (*flag != enable) {
                if (previous != nullptr) {
                    EXPECT_GE(length, sizeof(TOKEN_PRIVILEGES) + changed * sizeof(LUID_AND_ATTRIBUTES));
                    previous->Privileges[changed].Luid = wanted.Luid;
                    previous->Privileges[changed].Attributes = *flag ? SE_PRIVILEGE_ENABLED : 0;
                }
                ++changed;
                *flag = enable;
            }
        }
        if (previous != nullptr) {
            previous->PrivilegeCount = changed;
            if (returned != nullptr) {
                *returned = static_cast<DWORD>(sizeof(TOKEN_PRIVILEGES) + sizeof(LUID_AND_ATTRIBUTES));
            }
        }
        calls.push_back(enabling ? "enable privileges" : "restore privileges");
        ::SetLastError(notAll ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::GetFileAttributesW, [this](LPCWSTR path) -> DWORD {
        const auto file = files_.find(path);
        if (file == files_.end() || !file->second.fileExists) {
            ::SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_FILE_ATTRIBUTES;
        }
        return FILE_ATTRIBUTE_ARCHIVE;
    });
}

FakeProfileHives::~FakeProfileHives()
{
    for (const auto& hive : loaded_) {
        RegDeleteTreeW(HKEY_USERS, hive.first.c_str());
        RegDeleteKeyW(HKEY_USERS, hive.first.c_str());
    }
}

void FakeProfileHives::AddLoaded(const std::wstring& sid, const PolicyValue& value, bool keyExists)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, ProfileKey(sid), kProfileImagePathValue,
                               L"%SystemDrive%\\Users\\" + sid, REG_EXPAND_SZ);
    RegistrySandbox::CreateKey(HKEY_USERS, sid);
    if (keyExists) {
        Store(sid, value);
    }
    loadedSids_.insert(sid);
}

void FakeProfileHives::AddUnloaded(const std::wstring& sid, const std::wstring& folder, const PolicyValue& value,
                                   bool fileExists)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, ProfileKey(sid), kProfileImagePathValue, folder, REG_EXPAND_SZ);
    Hive hive;
    hive.sid = sid;
    hive.fileExists = fileExists;
    hive.value = value;
    files_[Expanded(folder) + L"\\" + kUserHiveFileName] = hive;
}

std::wstring FakeProfileHives::HiveFile(const std::wstring& sid) const
{
    for (const auto& file : files_) {
        if (file.second.sid == sid) {
            return file.first;
        }
    }
    ADD_FAILURE() << "no hive file for " << Narrow(sid);
    return std::wstring();
}

PolicyValue FakeProfileHives::ValueOf(const std::wstring& sid) const
{
    if (loadedSids_.count(sid) != 0) {
        return Read(sid);
    }
    for (const auto& file : files_) {
        if (file.second.sid == sid) {
            return file.second.value;
        }
    }
    ADD_FAILURE() << "no profile " << Narrow(sid);
    return PolicyValue();
}

bool FakeProfileHives::InHive(HKEY parent, const std::wstring& subkey, std::wstring& hiveName) const
{
    if (parent == HKEY_USERS) {
        const std::wstring first = subkey.substr(0, subkey.find(L'\\'));
        for (const auto& hive : loaded_) {
            if (_wcsicmp(hive.first.c_str(), first.c_str()) == 0) {
                hiveName = hive.first;
                return true;
            }
        }
        return false;
    }
    const auto key = openKeys_.find(parent);
    if (key == openKeys_.end()) {
        return false;
    }
    hiveName = key->second;
    return true;
}
