// sas.dll of the tests, in the place of the system's in the Wine prefix of
// the tests (Wine's own SendSAS ends the process that calls it). SendSAS
// simulates nothing: it records its call, adding 1 to "Calls" and writing
// its argument as "AsUser", both REG_DWORD, under
// HKEY_LOCAL_MACHINE\SOFTWARE\TarnwickTests\SendSAS. When that key names a
// key below HKEY_USERS in "LockPolicyKey", it also writes the
// "DisableLockWorkstation" found there at the moment of the call as
// "LockPolicyDuringCall" (0xFFFFFFFF when there is none).
#include <windows.h>

extern "C" __declspec(dllexport) void WINAPI SendSAS(BOOL asUser)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TarnwickTests\\SendSAS", 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    DWORD calls = 0;
    DWORD size = sizeof(calls);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, L"Calls", nullptr, &type, reinterpret_cast<BYTE*>(&calls), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        calls = 0;
    }
    ++calls;
    wchar_t policyKey[512] = {};
    size = sizeof(policyKey) - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"LockPolicyKey", nullptr, &type, reinterpret_cast<BYTE*>(policyKey), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        DWORD policy = 0xFFFFFFFF;
        size = sizeof(policy);
        if (RegGetValueW(HKEY_USERS, policyKey, L"DisableLockWorkstation", RRF_RT_REG_DWORD, nullptr, &policy,
                         &size) != ERROR_SUCCESS) {
            policy = 0xFFFFFFFF;
        }
        RegSetValueExW(key, L"LockPolicyDuringCall", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&policy),
                       sizeof(policy));
    }
    const DWORD argument = static_cast<DWORD>(asUser);
    RegSetValueExW(key, L"AsUser", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&argument), sizeof(argument));
    RegSetValueExW(key, L"Calls", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&calls), sizeof(calls));
    RegCloseKey(key);
}
