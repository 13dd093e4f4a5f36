#include "common/folder_security_rules.h"

#include <algorithm>

using namespace file_rights;

const wchar_t* const kSystemSid = L"S-1-5-18";
const wchar_t* const kAdministratorsSid = L"S-1-5-32-544";
const wchar_t* const kTrustedInstallerSid = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const wchar_t* const kUsersSid = L"S-1-5-32-545";
const wchar_t* const kEveryoneSid = L"S-1-1-0";

namespace {

const wchar_t* const kCreatorOwnerSid = L"S-1-3-0";
const wchar_t* const kOwnerRightsSid = L"S-1-3-4";
const wchar_t* const kAnonymousSid = L"S-1-5-7";

// What the file system maps the generic rights to (FILE_GENERIC_WRITE and
// FILE_ALL_ACCESS; of FILE_GENERIC_READ and FILE_GENERIC_EXECUTE nothing
// counts).
constexpr std::uint32_t kFileGenericWrite = 0x00120116;
constexpr std::uint32_t kFileAllAccess = 0x001F01FF;

// ACE types (winnt.h).
constexpr std::uint8_t kAllowed = 0x00;
constexpr std::uint8_t kDenied = 0x01;
constexpr std::uint8_t kAllowedObject = 0x05;
constexpr std::uint8_t kDeniedObject = 0x06;
constexpr std::uint8_t kAllowedCallback = 0x09;
constexpr std::uint8_t kDeniedCallback = 0x0A;
constexpr std::uint8_t kAllowedCallbackObject = 0x0B;
constexpr std::uint8_t kDeniedCallbackObject = 0x0C;

// The object ACE's Flags: which of its two GUIDs follow.
constexpr std::uint32_t kObjectTypePresent = 0x1;
constexpr std::uint32_t kInheritedObjectTypePresent = 0x2;

std::uint32_t Read32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint16_t Read16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t Mapped(std::uint32_t mask)
{
    if ((mask & kGenericAll) != 0) {
        mask |= kFileAllAccess;
    }
    if ((mask & kGenericWrite) != 0) {
        mask |= kFileGenericWrite;
    }
    return mask;
}

bool Applies(const AccessEntry& entry)
{
    return (entry.flags & kInheritOnly) == 0;
}

// The rights that a deny entry before `index` takes from the allow entry
// there, for the allow entry's trustee `sid`.
std::uint32_t DeniedBefore(const std::vector<AccessEntry>& entries, std::size_t index, const std::wstring& sid)
{
    std::uint32_t denied = 0;
    for (std::size_t i = 0; i < index; ++i) {
        const AccessEntry& entry = entries[i];
        if (entry.kind != AccessEntry::Kind::Deny || entry.conditional || !Applies(entry)) {
            continue;
        }
        if (entry.sid == sid || (entry.sid == kEveryoneSid && sid != kAnonymousSid)) {
            denied |= Mapped(entry.mask);
        }
    }
    return denied;
}

Writer& WriterFor(std::vector<Writer>& writers, const std::wstring& sid)
{
    for (Writer& writer : writers) {
        if (writer.sid == sid) {
            return writer;
        }
    }
    writers.push_back(Writer{});
    writers.back().sid = sid;
    return writers.back();
}

void AppendList(std::wstring& text, const std::wstring& item)
{
    text += (text.empty() ? L"" : L", ") + item;
}

// The rights of one kind of object, in words.
std::wstring RightsWords(std::uint32_t rights, PathRole role)
{
    std::wstring text;
    const bool folder = role != PathRole::Program;
    if (!folder && (rights & (kWriteData | kAppendData)) != 0) {
        AppendList(text, L"write it");
    }
    if (folder && (rights & kWriteData) != 0) {
        AppendList(text, L"create files in it");
    }
    if (folder && (rights & kAppendData) != 0) {
        AppendList(text, L"create folders in it");
    }
    if (folder && (rights & kDeleteChild) != 0) {
        AppendList(text, L"delete or rename what it holds");
    }
    if ((rights & kDelete) != 0) {
        AppendList(text, L"delete or rename it");
    }
    if ((rights & kWriteDac) != 0) {
        AppendList(text, L"change its access list");
    }
    if ((rights & kWriteOwner) != 0) {
        AppendList(text, L"take ownership of it");
    }
    return text;
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// The length of the root at the start of a path ("C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\"), or 0 when it has none.
std::size_t RootLength(const std::wstring& path)
{
    auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    auto drive = [&](std::size_t at) {
        const bool letter = path.size() > at && ((path[at] >= L'A' && path[at] <= L'Z') ||
                                                  (path[at] >= L'a' && path[at] <= L'z'));
        return letter && path.size() >= at + 3 && path[at + 1] == L':' && separator(path[at + 2]);
    };
    // After `at`, the server and the share name, each ending at a separator.
    auto share = [&](std::size_t at) -> std::size_t {
        std::size_t parts = 0;
        for (std::size_t i = at; i < path.size(); ++i) {
            if (separator(path[i]) && i > at) {
                if (++parts == 2) {
                    return i + 1;
                }
                at = i + 1;
            }
        }
        return 0;
    };
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        return share(8);
    }
    if (path.compare(0, 4, L"\\\\?\\") == 0) {
        return drive(4) ? 7 : 0;
    }
    if (drive(0)) {
        return 3;
    }
    if (path.size() > 2 && separator(path[0]) && separator(path[1])) {
        return share(2);
    }
    return 0;
}

// The part of a path before its last separator, without that separator,
// but with the root's; empty when there is no separator.
std::wstring Parent(const std::wstring& path, std::size_t root)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return std::wstring();
    }
    if (slash + 1 <= root) {
        return path.substr(0, root);
    }
    return path.substr(0, slash);
}

}  // namespace

bool IsTrustedSid(const std::wstring& sid)
{
    return sid == kSystemSid || sid == kAdministratorsSid || sid == kTrustedInstallerSid;
}

std::size_t StoredSidSize(const std::uint8_t* sid, std::size_t available)
{
    if (available < 8 || sid[0] != 1 || sid[1] > 15) {
        return 0;
    }
    const std::size_t size = 8 + 4 * static_cast<std::size_t>(sid[1]);
    return size <= available ? size : 0;
}

std::optional<std::wstring> SidText(const std::uint8_t* sid, std::size_t size)
{
    if (StoredSidSize(sid, size) == 0) {
        return std::nullopt;
    }
    // The identifier authority: six bytes, most significant first.
    std::uint64_t authority = 0;
    for (int i = 2; i < 8; ++i) {
        authority = authority << 8 | sid[i];
    }
    std::wstring text = L"S-1-";
    if (authority >> 32 == 0) {
        text += std::to_wstring(authority);
    } else {
        // Written in hexadecimal, as Windows writes an authority this large.
        static const wchar_t digits[] = L"0123456789ABCDEF";
        std::wstring hex;
        for (int shift = 44; shift >= 0; shift -= 4) {
            hex += digits[(authority >> shift) & 0xF];
        }
        text += L"0x" + hex;
    }
    for (std::size_t i = 0; i < sid[1]; ++i) {
        text += L"-" + std::to_wstring(Read32(sid + 8 + 4 * i));
    }
    return text;
}

std::optional<std::vector<AccessEntry>> ParseAccessList(const std::uint8_t* acl, std::size_t size)
{
    // ACL: revision, padding, AclSize, AceCount, padding.
    if (acl == nullptr || size < 8) {
        return std::nullopt;
    }
    const std::size_t aclSize = Read16(acl + 2);
    const std::size_t count = Read16(acl + 4);
    if (aclSize < 8 || aclSize > size) {
        return std::nullopt;
    }
    std::vector<AccessEntry> entries;
    std::size_t at = 8;
    for (std::size_t i = 0; i < count; ++i) {
        // ACE_HEADER: type, flags, size.
        if (at + 4 > aclSize) {
            return std::nullopt;
        }
        const std::uint8_t type = acl[at];
        const std::uint8_t flags = acl[at + 1];
        const std::size_t aceSize = Read16(acl + at + 2);
        if (aceSize < 4 || at + aceSize > aclSize) {
            return std::nullopt;
        }
        const std::uint8_t* ace = acl + at;
        AccessEntry entry;
        entry.flags = flags;
        std::size_t sidAt = 0;
        switch (type) {
        case kAllowed:
        case kAllowedCallback:
        case kDenied:
        case kDeniedCallback:
            sidAt = 8;  // header, mask
            break;
        case kAllowedObject:
        case kAllowedCallbackObject:
        case kDeniedObject:
        case kDeniedCallbackObject: {
            if (aceSize < 12) {
                return std::nullopt;
            }
            const std::uint32_t objectFlags = Read32(ace + 8);
            sidAt = 12 + ((objectFlags & kObjectTypePresent) != 0 ? 16 : 0) +
                    ((objectFlags & kInheritedObjectTypePresent) != 0 ? 16 : 0);
            break;
        }
        default:
            break;  // not an entry that grants or denies
        }
        if (sidAt != 0) {
            if (aceSize < sidAt) {
                return std::nullopt;
            }
            const std::optional<std::wstring> sid = SidText(ace + sidAt, aceSize - sidAt);
            if (!sid) {
                return std::nullopt;
            }
            const bool allow = type == kAllowed || type == kAllowedCallback || type == kAllowedObject ||
                               type == kAllowedCallbackObject;
            entry.kind = allow ? AccessEntry::Kind::Allow : AccessEntry::Kind::Deny;
            entry.conditional = type == kAllowedCallback || type == kDeniedCallback ||
                                type == kAllowedCallbackObject || type == kDeniedCallbackObject;
            entry.mask = Read32(ace + 4);
            entry.sid = *sid;
        }
        entries.push_back(entry);
        at += aceSize;
    }
    return entries;
}

std::uint32_t RightsThatCount(PathRole role)
{
    switch (role) {
    case PathRole::Program:
        return kWriteData | kAppendData | kDelete | kWriteDac | kWriteOwner;
    case PathRole::Folder:
        return kWriteData | kAppendData | kDeleteChild | kDelete | kWriteDac | kWriteOwner;
    case PathRole::FolderAbove:
        return kDeleteChild | kDelete | kWriteDac | kWriteOwner;
    case PathRole::Root:
        return kDeleteChild | kWriteDac | kWriteOwner;
    }
    return 0;
}

std::vector<Writer> OtherWriters(const StoredSecurity& security, PathRole role)
{
    std::vector<Writer> writers;
    const std::uint32_t counted = RightsThatCount(role);
    if (!security.daclPresent) {
        Writer everyone;
        everyone.sid = kEveryoneSid;
        everyone.rights = counted;
        everyone.nullDacl = true;
        writers.push_back(everyone);
        return writers;
    }
    const std::vector<AccessEntry>& entries = security.entries;
    const bool ownerCounts = !security.owner.empty() && !IsTrustedSid(security.owner);
    const bool ownerRightsApply =
        std::any_of(entries.begin(), entries.end(), [](const AccessEntry& entry) {
            return entry.sid == kOwnerRightsSid && Applies(entry) && entry.kind != AccessEntry::Kind::Other;
        });
    if (ownerCounts && !ownerRightsApply) {
        Writer& owner = WriterFor(writers, security.owner);
        owner.owner = true;
        owner.rights |= kWriteDac & counted;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const AccessEntry& entry = entries[i];
        if (entry.kind != AccessEntry::Kind::Allow) {
            continue;
        }
        // OWNER RIGHTS stands for the owner.
        const std::wstring sid = entry.sid == kOwnerRightsSid ? (ownerCounts ? security.owner : std::wstring())
                                                              : entry.sid;
        if (sid.empty() || IsTrustedSid(sid) || sid == kCreatorOwnerSid) {
            continue;
        }
        const std::uint32_t mask = Mapped(entry.mask);
        if (Applies(entry)) {
            const std::uint32_t rights = mask & ~DeniedBefore(entries, i, entry.sid) & counted;
            if (rights != 0) {
                WriterFor(writers, sid).rights |= rights;
            }
        }
        if (role == PathRole::Folder) {
            // What it gives the files and folders created in the folder.
            const std::uint32_t fileRights =
                (entry.flags & kObjectInherit) != 0 ? mask & RightsThatCount(PathRole::Program) : 0;
            const std::uint32_t folderRights =
                (entry.flags & kContainerInherit) != 0 ? mask & RightsThatCount(PathRole::Folder) : 0;
            if (fileRights != 0 || folderRights != 0) {
                Writer& writer = WriterFor(writers, sid);
                writer.newFileRights |= fileRights;
                writer.newFolderRights |= folderRights;
            }
        }
    }
    return writers;
}

std::vector<PathStep> FolderPathSteps(const std::wstring& folder)
{
    std::vector<PathStep> steps;
    const std::size_t root = RootLength(folder);
    std::wstring path = folder;
    while (path.size() > root && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    if (path.empty()) {
        return steps;
    }
    steps.push_back({path, PathRole::Folder});
    if (root == 0 || path.size() <= root) {
        return steps;
    }
    for (std::wstring above = Parent(path, root); !above.empty(); above = Parent(above, root)) {
        if (above.size() <= root) {
            steps.push_back({above, PathRole::Root});
            break;
        }
        steps.push_back({above, PathRole::FolderAbove});
    }
    return steps;
}

std::vector<PathStep> ProgramPathSteps(const std::wstring& programPath)
{
    std::vector<PathStep> steps;
    steps.push_back({programPath, PathRole::Program});
    const std::size_t root = RootLength(programPath);
    const std::wstring folder = Parent(programPath, root);
    if (folder.empty() || folder.size() >= programPath.size()) {
        return steps;  // no folder, or the path is a root itself
    }
    for (const PathStep& step : FolderPathSteps(folder)) {
        steps.push_back(step);
    }
    return steps;
}

bool OnlyTrustedCanChange(const std::vector<PathSecurity>& steps)
{
    return std::all_of(steps.begin(), steps.end(),
                       [](const PathSecurity& step) { return step.error == 0 && step.writers.empty(); });
}

std::wstring WriterRightsText(const Writer& writer, PathRole role)
{
    if (writer.nullDacl) {
        return L"may do anything with it (it has no access list)";
    }
    std::wstring text;
    if (writer.owner) {
        text = L"owns it, and so may change its access list";
    }
    const std::uint32_t implicit = writer.owner ? kWriteDac : 0;
    const std::wstring rights = RightsWords(writer.rights & RightsThatCount(role) & ~implicit, role);
    if (!rights.empty()) {
        text += (text.empty() ? L"may " : L", and may ") + rights;
    }
    if (!text.empty()) {
        // What it may do with the folder itself says enough.
        return text;
    }
    const std::wstring files = RightsWords(writer.newFileRights, PathRole::Program);
    const std::wstring folders = RightsWords(writer.newFolderRights, PathRole::Folder);
    if (!files.empty()) {
        text = L"may " + files + L" (each file created in it later)";
    }
    if (!folders.empty()) {
        text += (text.empty() ? L"may " : L", and ") + folders + L" (each folder created in it later)";
    }
    return text;
}

std::wstring PathSecurityText(const std::vector<PathSecurity>& steps,
                              const std::function<std::wstring(const std::wstring& sid)>& name,
                              const std::function<std::wstring(std::uint32_t error)>& errorText)
{
    std::wstring text;
    for (const PathSecurity& step : steps) {
        std::wstring part;
        if (step.error != 0) {
            part = step.path + L": its owner and access list cannot be read (" + errorText(step.error) + L")";
        } else {
            for (const Writer& writer : step.writers) {
                const std::wstring account = name(writer.sid);
                const std::wstring who = writer.nullDacl  ? std::wstring(L"everyone")
                                         : account.empty() ? writer.sid
                                                           : account + L" (" + writer.sid + L")";
                part += (part.empty() ? step.path + L": " : L"; ") + who + L" " + WriterRightsText(writer, step.role);
            }
        }
        if (!part.empty()) {
            text += (text.empty() ? L"" : L"; ") + part;
        }
    }
    return text;
}

std::wstring ProtectFolderCommand(const std::wstring& folder, const std::vector<std::wstring>& others)
{
    // Users' own entries go with /grant:r, which replaces them.
    std::vector<std::wstring> removed;
    for (const std::wstring& sid : others) {
        if (sid != kUsersSid && !IsTrustedSid(sid) && std::find(removed.begin(), removed.end(), sid) == removed.end()) {
            removed.push_back(sid);
        }
    }
    std::wstring removals;
    for (const std::wstring& sid : removed) {
        removals += L" *" + sid;
    }
    return L"icacls " + Quoted(folder) + L" /setowner *" + kAdministratorsSid + L" /T /C & icacls " + Quoted(folder) +
           L" /inheritance:r /grant:r *" + kSystemSid + L":(OI)(CI)F *" + kAdministratorsSid + L":(OI)(CI)F *" +
           kUsersSid + L":(OI)(CI)RX" + (removals.empty() ? L"" : L" /remove:g" + removals) + L" & icacls " +
           Quoted(folder + L"\\*") + L" /reset /T /C";
}
