#include "common/folder_security.h"

#include "common/handles.h"
#include "common/win32_api.h"

#include <vector>

namespace {

// The largest SID as stored: 8 bytes and 15 subauthorities.
constexpr std::size_t kLargestSid = 8 + 4 * 15;

}  // namespace

PathSecurity ReadPathSecurity(const PathStep& step)
{
    PathSecurity read;
    read.path = step.path;
    read.role = step.role;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error =
        win32.GetNamedSecurityInfoW(step.path.c_str(), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl,
                                    nullptr, &descriptor);
    const KLocalBlock owned(descriptor);
    if (error != ERROR_SUCCESS) {
        read.error = error;
        return read;
    }
    StoredSecurity security;
    if (owner != nullptr) {
        const std::optional<std::wstring> ownerText = SidText(static_cast<const std::uint8_t*>(owner), kLargestSid);
        if (!ownerText) {
            read.error = ERROR_INVALID_SID;
            return read;
        }
        security.owner = *ownerText;
    }
    // Microsoft: the DACL pointer is null when the descriptor has no access
    // list (a NULL DACL), which grants everyone every right.
    security.daclPresent = dacl != nullptr;
    if (dacl != nullptr) {
        const std::optional<std::vector<AccessEntry>> entries =
            ParseAccessList(reinterpret_cast<const std::uint8_t*>(dacl), dacl->AclSize);
        if (!entries) {
            read.error = ERROR_INVALID_ACL;
            return read;
        }
        security.entries = *entries;
    }
    read.writers = OtherWriters(security, step.role);
    return read;
}

namespace {

std::vector<PathSecurity> ReadSteps(const std::vector<PathStep>& steps)
{
    std::vector<PathSecurity> read;
    for (const PathStep& step : steps) {
        read.push_back(ReadPathSecurity(step));
    }
    return read;
}

}  // namespace

std::vector<PathSecurity> ReadProgramPathSecurity(const std::wstring& programPath)
{
    return ReadSteps(ProgramPathSteps(programPath));
}

std::vector<PathSecurity> ReadFolderPathSecurity(const std::wstring& folder)
{
    return ReadSteps(FolderPathSteps(folder));
}

bool OnlyTrustedCanChangeProgram(const std::wstring& programPath)
{
    return OnlyTrustedCanChange(ReadProgramPathSecurity(programPath));
}

std::wstring AccountNameOfSid(const std::wstring& sid)
{
    PSID binary = nullptr;
    if (!win32.ConvertStringSidToSidW(sid.c_str(), &binary)) {
        return std::wstring();
    }
    const KLocalBlock owned(binary);
    std::vector<wchar_t> name(256, L'\0');
    std::vector<wchar_t> domain(256, L'\0');
    DWORD nameChars = static_cast<DWORD>(name.size());
    DWORD domainChars = static_cast<DWORD>(domain.size());
    SID_NAME_USE use = SidTypeUnknown;
    if (!win32.LookupAccountSidW(nullptr, binary, name.data(), &nameChars, domain.data(), &domainChars, &use)) {
        return std::wstring();
    }
    const std::wstring account(name.data());
    const std::wstring domainName(domain.data());
    return domainName.empty() ? account : domainName + L"\\" + account;
}
