#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <stdexcept>
#include <vector>

namespace {

constexpr const wchar_t* kScratchRoot = L"Software\\TarnwickTests";

RegistrySandbox* innermost = nullptr;

int NextSandboxNumber()
{
    static int counter = 0;
    return ++counter;
}

bool ProcessIsRunning(DWORD processId)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        // A process that exists but may not be opened is still running.
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// Removes the scratch keys "<process id>-<n>" of processes that have ended.
void RemoveKeysOfEndedRuns()
{
    HKEY root = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kScratchRoot, 0, KEY_READ, &root) != ERROR_SUCCESS) {
        return;
    }
    std::vector<std::wstring> ended;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD chars = 256;
        if (RegEnumKeyExW(root, index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        const DWORD processId = wcstoul(name, nullptr, 10);
        if (processId != GetCurrentProcessId() && !ProcessIsRunning(processId)) {
            ended.push_back(name);
        }
    }
    RegCloseKey(root);
    for (const std::wstring& name : ended) {
        const std::wstring path = std::wstring(kScratchRoot) + L"\\" + name;
        RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
    }
}

// Redirects both roots; null keys end the redirection.
void Redirect(HKEY machine, HKEY users)
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine);
    RegOverridePredefKey(HKEY_USERS, users);
}

}  // namespace

RegistrySandbox::RegistrySandbox() : outer_(innermost)
{
    RemoveKeysOfEndedRuns();
    base_ = std::wstring(kScratchRoot) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(NextSandboxNumber());
    const std::wstring machine = base_ + L"\\machine";
    const std::wstring users = base_ + L"\\users";
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, machine.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &machine_, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegCreateKeyExW(HKEY_CURRENT_USER, users.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &users_,
                                 nullptr);
    }
    if (result == ERROR_SUCCESS) {
        result = RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_);
    }
    if (result == ERROR_SUCCESS) {
        result = RegOverridePredefKey(HKEY_USERS, users_);
    }
    if (result != ERROR_SUCCESS) {
        // Put back whatever was redirected before, so that nothing of this
        // test reaches the real keys, and end the test.
        Redirect(outer_ != nullptr ? outer_->machine_ : nullptr, outer_ != nullptr ? outer_->users_ : nullptr);
        RemoveScratchKeys();
        ADD_FAILURE() << "the registry sandbox cannot redirect HKEY_LOCAL_MACHINE and HKEY_USERS (error " << result
                      << ")";
        throw std::runtime_error("no registry sandbox");
    }
    innermost = this;
}

RegistrySandbox::~RegistrySandbox()
{
    if (innermost != this) {
        ADD_FAILURE() << "registry sandboxes must end in the reverse order of their making";
    }
    innermost = outer_;
    Redirect(outer_ != nullptr ? outer_->machine_ : nullptr, outer_ != nullptr ? outer_->users_ : nullptr);
    RemoveScratchKeys();
}

void RegistrySandbox::RemoveScratchKeys()
{
    if (machine_ != nullptr) {
        RegCloseKey(machine_);
        machine_ = nullptr;
    }
    if (users_ != nullptr) {
        RegCloseKey(users_);
        users_ = nullptr;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, base_.c_str());
}

void RegistrySandbox::CreateKey(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegistrySandbox::SetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
                               const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegistrySandbox::SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value)
{
    SetValue(root, path, name, REG_DWORD, &value, sizeof(value));
}

void RegistrySandbox::SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value,
                                DWORD type)
{
    SetValue(root, path, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RegistrySandbox::DeleteValue(HKEY root, const std::wstring& path, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

bool RegistrySandbox::GetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& type,
                               std::vector<BYTE>& data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        data.assign(size, 0);
        result = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool RegistrySandbox::KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

namespace {

void DumpInto(HKEY root, const std::wstring& path, bool writeTimes, KeyDump& dump)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    DWORD subkeyChars = 0;
    DWORD valueNameChars = 0;
    DWORD valueBytes = 0;
    FILETIME written = {};
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &subkeyChars, nullptr, nullptr, &valueNameChars,
                     &valueBytes, nullptr, &written);
    std::vector<BYTE> keyData;
    if (writeTimes) {
        const BYTE* time = reinterpret_cast<const BYTE*>(&written);
        keyData.assign(time, time + sizeof(written));
    }
    dump[path + L"\\"] = {REG_NONE, keyData};

    std::vector<wchar_t> name(valueNameChars + 1);
    std::vector<BYTE> data(valueBytes + 1);
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
            break;
        }
        dump[path + L"\\" + name.data()] = {type, std::vector<BYTE>(data.begin(), data.begin() + size)};
    }
    std::vector<std::wstring> subkeys;
    std::vector<wchar_t> subkey(subkeyChars + 1);
    for (DWORD index = 0;; ++index) {
        DWORD chars = static_cast<DWORD>(subkey.size());
        if (RegEnumKeyExW(key, index, subkey.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        subkeys.push_back(subkey.data());
    }
    RegCloseKey(key);
    for (const std::wstring& below : subkeys) {
        DumpInto(root, path + L"\\" + below, writeTimes, dump);
    }
}

}  // namespace

KeyDump RegistrySandbox::Dump(HKEY root, const std::wstring& path, bool writeTimes)
{
    KeyDump dump;
    DumpInto(root, path, writeTimes, dump);
    return dump;
}

std::wstring HotkeySubkey(const std::wstring& name)
{
    return L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\" + name;
}
