#include "tests/support/fake_console_account.h"

#include "common/lock_policy_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <mutex>

namespace {

// The binary form of a SID string; empty when it is not one.
std::vector<BYTE> SidBytes(const std::wstring& text)
{
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(text.c_str(), &sid)) {
        ADD_FAILURE() << "not a SID string";
        return {};
    }
    const auto* bytes = static_cast<const BYTE*>(sid);
    std::vector<BYTE> copy(bytes, bytes + GetLengthSid(sid));
    LocalFree(sid);
    return copy;
}

}  // namespace

FakeConsoleAccount::FakeConsoleAccount(std::wstring user, std::wstring domain, DWORD consoleSession)
    : userName(std::move(user)), domainName(std::move(domain)), session(consoleSession)
{
    substitutes_.Replace(&Win32Api::WTSGetActiveConsoleSessionId, [this]() -> DWORD { return session; });
    substitutes_.Replace(&Win32Api::WTSQuerySessionInformationW,
                         [this](HANDLE server, DWORD asked, WTS_INFO_CLASS infoClass, LPWSTR* buffer,
                                DWORD* bytes) -> BOOL {
        const std::lock_guard<std::mutex> hold(books_);
        EXPECT_EQ(server, WTS_CURRENT_SERVER_HANDLE);
        EXPECT_EQ(asked, session);
        if (infoClass != WTSUserName && infoClass != WTSDomainName) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const std::wstring& text = infoClass == WTSUserName ? userName : domainName;
        auto* copy = new wchar_t[text.size() + 1];
        std::wmemcpy(copy, text.c_str(), text.size() + 1);
        ++sessionBuffersOpen;
        *buffer = copy;
        *bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::WTSFreeMemory, [this](PVOID buffer) {
        const std::lock_guard<std::mutex> hold(books_);
        --sessionBuffersOpen;
        delete[] static_cast<wchar_t*>(buffer);
    });
    substitutes_.Replace(&Win32Api::WTSQueryUserToken, [this](ULONG asked, PHANDLE token) -> BOOL {
        const std::lock_guard<std::mutex> hold(books_);
        EXPECT_EQ(asked, session);
        ++tokenQueries;
        if (tokenSid.empty()) {
            ::SetLastError(tokenError);
            return FALSE;
        }
        // Handle values that are never real ones.
        *token = reinterpret_cast<HANDLE>(0x7E0000 + 4 * ++tokensGiven_);
        tokens_.insert(*token);
        ++tokensOpen;
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::GetTokenInformation,
                         [this](HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID buffer, DWORD size,
                                PDWORD needed) -> BOOL {
        const std::lock_guard<std::mutex> hold(books_);
        EXPECT_EQ(tokens_.count(token), 1u) << "not a token of the console user";
        EXPECT_EQ(infoClass, TokenUser);
        const std::vector<BYTE> sid = tokenSid.empty() ? std::vector<BYTE>() : SidBytes(tokenSid);
        const DWORD total = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
        *needed = total;
        if (tokens_.count(token) == 0 || infoClass != TokenUser || sid.empty()) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (buffer == nullptr || size < total) {
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        // As Windows lays it out: the SID follows the structure.
        auto* tokenUser = static_cast<TOKEN_USER*>(buffer);
        BYTE* copy = static_cast<BYTE*>(buffer) + sizeof(TOKEN_USER);
        std::memcpy(copy, sid.data(), sid.size());
        tokenUser->User.Sid = copy;
        tokenUser->User.Attributes = 0;
        return TRUE;
    });
    const auto close = win32.CloseHandle;
    substitutes_.Replace(&Win32Api::CloseHandle, [this, close](HANDLE handle) -> BOOL {
        {
                const std::lock_guard<std::mutex> hold(books_);
            if (tokens_.erase(handle) == 1) {
                --tokensOpen;
                return TRUE;
            }
        }
        return close(handle);
    });
    substitutes_.Replace(&Win32Api::LookupAccountNameW,
                         [this](LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR domain,
                                LPDWORD domainChars, PSID_NAME_USE use) -> BOOL {
        const std::lock_guard<std::mutex> hold(books_);
        EXPECT_EQ(system, nullptr);
        lookups.push_back(account != nullptr ? account : L"(null)");
        const auto found = account != nullptr ? accounts.find(account) : accounts.end();
        if (found == accounts.end()) {
            ::SetLastError(lookupError);
            return FALSE;
        }
        const std::vector<BYTE> bytes = SidBytes(found->second);
        const std::wstring name(account);
        const std::wstring referenced =
            name.find(L'\\') != std::wstring::npos ? name.substr(0, name.find(L'\\')) : localDomain;
        if (*sidSize < bytes.size() || *domainChars <= referenced.size()) {
            *sidSize = static_cast<DWORD>(bytes.size());
            *domainChars = static_cast<DWORD>(referenced.size() + 1);
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(sid, bytes.data(), bytes.size());
        *sidSize = static_cast<DWORD>(bytes.size());
        std::wmemcpy(domain, referenced.c_str(), referenced.size() + 1);
        *domainChars = static_cast<DWORD>(referenced.size());
        *use = SidTypeUser;
        return TRUE;
    });
    const auto convert = win32.ConvertSidToStringSidW;
    substitutes_.Replace(&Win32Api::ConvertSidToStringSidW, [this, convert](PSID sid, LPWSTR* text) -> BOOL {
        const std::lock_guard<std::mutex> hold(books_);
        const BOOL converted = convert(sid, text);
        if (converted && *text != nullptr) {
            sidStrings_.insert(*text);
        }
        return converted;
    });
    const auto localFree = win32.LocalFree;
    substitutes_.Replace(&Win32Api::LocalFree, [this, localFree](HLOCAL memory) -> HLOCAL {
        {
                const std::lock_guard<std::mutex> hold(books_);
            sidStrings_.erase(memory);
        }
        return localFree(memory);
    });
}

SweepConsoleUser::SweepConsoleUser(bool sessionToken) : FakeConsoleAccount(kName, kDomain, 1)
{
    localDomain = kDomain;
    accounts[kName] = kSid;
    accounts[std::wstring(kDomain) + L"\\" + kName] = kSid;
    if (sessionToken) {
        tokenSid = kSid;
    }
}

std::wstring SweepConsoleUser::PolicyKeyPath()
{
    wchar_t path[kLockPolicyPathChars] = {};
    FormatLockPolicyKeyPath(kSid, path);
    return path;
}
