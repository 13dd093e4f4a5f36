#include "tests/support/fake_console_account.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

namespace {

const HANDLE kFakeToken = reinterpret_cast<HANDLE>(0x70C4);
constexpr DWORD kSession = 7;

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

FakeConsoleAccount::FakeConsoleAccount(std::wstring user, std::wstring domain)
    : userName(std::move(user)), domainName(std::move(domain))
{
    substitutes_.Replace(&Win32Api::WTSGetActiveConsoleSessionId, []() -> DWORD { return kSession; });
    substitutes_.Replace(&Win32Api::WTSQuerySessionInformationW,
                         [this](HANDLE server, DWORD session, WTS_INFO_CLASS infoClass, LPWSTR* buffer,
                                DWORD* bytes) -> BOOL {
        EXPECT_EQ(server, WTS_CURRENT_SERVER_HANDLE);
        EXPECT_EQ(session, kSession);
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
        --sessionBuffersOpen;
        delete[] static_cast<wchar_t*>(buffer);
    });
    substitutes_.Replace(&Win32Api::WTSQueryUserToken, [this](ULONG session, PHANDLE token) -> BOOL {
        EXPECT_EQ(session, kSession);
        ++tokenQueries;
        if (tokenSid.empty()) {
            ::SetLastError(tokenError);
            return FALSE;
        }
        ++tokensOpen;
        *token = kFakeToken;
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::GetTokenInformation,
                         [this](HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID buffer, DWORD size,
                                PDWORD needed) -> BOOL {
        EXPECT_EQ(token, kFakeToken);
        EXPECT_EQ(infoClass, TokenUser);
        const std::vector<BYTE> sid = SidBytes(tokenSid);
        const DWORD total = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
        *needed = total;
        if (token != kFakeToken || infoClass != TokenUser || sid.empty()) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (buffer == nullptr || size < total) {
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        // As Windows lays it out: the SID follows the structure.
        auto* user = static_cast<TOKEN_USER*>(buffer);
        BYTE* copy = static_cast<BYTE*>(buffer) + sizeof(TOKEN_USER);
        std::memcpy(copy, sid.data(), sid.size());
        user->User.Sid = copy;
        user->User.Attributes = 0;
        return TRUE;
    });
    const auto close = win32.CloseHandle;
    substitutes_.Replace(&Win32Api::CloseHandle, [this, close](HANDLE handle) -> BOOL {
        if (handle == kFakeToken) {
            --tokensOpen;
            return TRUE;
        }
        return close(handle);
    });
    substitutes_.Replace(&Win32Api::LookupAccountNameW,
                         [this](LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR domain,
                                LPDWORD domainChars, PSID_NAME_USE use) -> BOOL {
        EXPECT_EQ(system, nullptr);
        lookups.push_back(account != nullptr ? account : L"(null)");
        const auto found = account != nullptr ? accounts.find(account) : accounts.end();
        if (found == accounts.end()) {
            ::SetLastError(lookupError);
            return FALSE;
        }
        const std::vector<BYTE> bytes = SidBytes(found->second);
        const std::wstring name(account);
        const std::wstring referenced = name.find(L'\\') != std::wstring::npos ? name.substr(0, name.find(L'\\'))
                                                                               : std::wstring(L"LOCALPC");
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
}
