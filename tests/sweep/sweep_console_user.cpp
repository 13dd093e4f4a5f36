#include "tests/sweep/sweep_console_user.h"

#include "common/lock_policy_path.h"
#include "tests/support/allocation_failure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

SweepConsoleUser::SweepConsoleUser(bool sessionToken)
{
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidW(kSid, &sid));
    if (sid != nullptr) {
        const auto* bytes = static_cast<const BYTE*>(sid);
        sid_.assign(bytes, bytes + GetLengthSid(sid));
        LocalFree(sid);
    }

    substitutes_.Replace(&Win32Api::WTSGetActiveConsoleSessionId, []() -> DWORD { return 1; });
    substitutes_.Replace(&Win32Api::WTSQuerySessionInformationW,
                         [this](HANDLE server, DWORD session, WTS_INFO_CLASS infoClass, LPWSTR* buffer,
                                DWORD* bytes) -> BOOL {
        AllocationPause pause;
        if (server != WTS_CURRENT_SERVER_HANDLE || session != 1 ||
            (infoClass != WTSUserName && infoClass != WTSDomainName)) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const wchar_t* text = infoClass == WTSUserName ? kName : kDomain;
        const size_t chars = std::wcslen(text) + 1;
        auto* copy = new wchar_t[chars];
        std::wmemcpy(copy, text, chars);
        sessionBuffers_.insert(copy);
        *buffer = copy;
        *bytes = static_cast<DWORD>(chars * sizeof(wchar_t));
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::WTSFreeMemory, [this](PVOID buffer) {
        AllocationPause pause;
        if (sessionBuffers_.erase(buffer) != 1) {
            ADD_FAILURE() << "WTSFreeMemory of a buffer that was not handed out";
            return;
        }
        delete[] static_cast<wchar_t*>(buffer);
    });
    substitutes_.Replace(&Win32Api::WTSQueryUserToken, [this, sessionToken](ULONG session, PHANDLE token) -> BOOL {
        AllocationPause pause;
        if (!sessionToken || session != 1) {
            ::SetLastError(sessionToken ? ERROR_INVALID_PARAMETER : ERROR_PRIVILEGE_NOT_HELD);
            return FALSE;
        }
        // Handle values that are never real ones.
        *token = reinterpret_cast<HANDLE>(0x7E0000 + 4 * ++tokensGiven_);
        tokens_.insert(*token);
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::GetTokenInformation,
                         [this](HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID buffer, DWORD size,
                                PDWORD needed) -> BOOL {
        AllocationPause pause;
        const DWORD total = static_cast<DWORD>(sizeof(TOKEN_USER) + sid_.size());
        *needed = total;
        if (tokens_.count(token) == 0 || infoClass != TokenUser || sid_.empty()) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (buffer == nullptr || size < total) {
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        auto* user = static_cast<TOKEN_USER*>(buffer);
        BYTE* copy = static_cast<BYTE*>(buffer) + sizeof(TOKEN_USER);
        std::memcpy(copy, sid_.data(), sid_.size());
        user->User.Sid = copy;
        user->User.Attributes = 0;
        return TRUE;
    });
    const auto close = win32.CloseHandle;
    substitutes_.Replace(&Win32Api::CloseHandle, [this, close](HANDLE handle) -> BOOL {
        {
            AllocationPause pause;
            if (tokens_.erase(handle) == 1) {
                return TRUE;
            }
        }
        return close(handle);
    });
    // Only the sweep's user has an account, under its bare and its qualified
    // name.
    substitutes_.Replace(&Win32Api::LookupAccountNameW,
                         [this](LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR domain,
                                LPDWORD domainChars, PSID_NAME_USE use) -> BOOL {
        AllocationPause pause;
        const std::wstring qualified = std::wstring(kDomain) + L"\\" + kName;
        if (system != nullptr || account == nullptr ||
            (std::wcscmp(account, kName) != 0 && qualified != account) || sid_.empty()) {
            ::SetLastError(ERROR_NONE_MAPPED);
            return FALSE;
        }
        const DWORD domainNeeded = static_cast<DWORD>(std::wcslen(kDomain));
        if (*sidSize < sid_.size() || *domainChars <= domainNeeded) {
            *sidSize = static_cast<DWORD>(sid_.size());
            *domainChars = domainNeeded + 1;
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(sid, sid_.data(), sid_.size());
        *sidSize = static_cast<DWORD>(sid_.size());
        std::wmemcpy(domain, kDomain, domainNeeded + 1);
        *domainChars = domainNeeded;
        *use = SidTypeUser;
        return TRUE;
    });
    const auto convert = win32.ConvertSidToStringSidW;
    substitutes_.Replace(&Win32Api::ConvertSidToStringSidW, [this, convert](PSID sid, LPWSTR* text) -> BOOL {
        AllocationPause pause;
        const BOOL converted = convert(sid, text);
        if (converted && *text != nullptr) {
            sidStrings_.insert(*text);
        }
        return converted;
    });
    const auto localFree = win32.LocalFree;
    substitutes_.Replace(&Win32Api::LocalFree, [this, localFree](HLOCAL memory) -> HLOCAL {
        AllocationPause pause;
        sidStrings_.erase(memory);
        return localFree(memory);
    });
}

std::wstring SweepConsoleUser::PolicyKeyPath() const
{
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(kSid, path);
    return path;
}
