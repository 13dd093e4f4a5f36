// Who, besides SYSTEM, Administrators and TrustedInstaller, can change a
// program file, its folder, or the folders above it (and so put code of
// their own where a LocalSystem service starts it, or where Windows looks
// for the DLLs of that program first), from the owner and the access list
// (DACL) that the file system keeps for each. Needs no Windows header:
// the stored forms of security identifiers (SIDs) and access lists are read
// here, as Microsoft documents them (SID, ACL, ACE_HEADER, ACCESS_ALLOWED_ACE
// and the object ACEs).
//
// What counts (Microsoft's documentation of access checks, "How DACLs
// Control Access to an Object", and of the well-known SIDs):
// - A NULL access list grants everyone every right.
// - The owner may always change the access list (WRITE_DAC is implicit),
//   unless an entry for OWNER RIGHTS (S-1-3-4) applies to the object: its
//   rights then replace the implicit ones.
// - An entry that is inherit-only does not apply to the object itself. In
//   the program's folder it applies to the files (object inherit) and
//   folders (container inherit) created in it later, and counts for them;
//   an inheritable entry for CREATOR OWNER (S-1-3-0) is the placeholder of
//   whoever creates something, who needs the right to create it first, and
//   does not count (C:\ and C:\Program Files carry one).
// - Generic rights count as what the file system maps them to.
// - A deny entry takes rights away only from an allow entry after it (the
//   order in which Windows checks them) for the same SID, or for everyone
//   (S-1-1-0; an allow entry for Anonymous Logon excepted); a deny entry for
//   another group, or with a condition, is not relied on, since whether it
//   covers the allowed trustee cannot be told from the list alone.
// - Allow entries with a condition (callback entries) count as if the
//   condition held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The access rights of files and folders (winnt.h).
namespace file_rights {
constexpr std::uint32_t kWriteData = 0x0002;         // a folder: FILE_ADD_FILE
constexpr std::uint32_t kAppendData = 0x0004;        // a folder: FILE_ADD_SUBDIRECTORY
constexpr std::uint32_t kDeleteChild = 0x0040;       // FILE_DELETE_CHILD
constexpr std::uint32_t kDelete = 0x00010000;        // DELETE
constexpr std::uint32_t kWriteDac = 0x00040000;      // WRITE_DAC
constexpr std::uint32_t kWriteOwner = 0x00080000;    // WRITE_OWNER
constexpr std::uint32_t kGenericAll = 0x10000000;    // GENERIC_ALL
constexpr std::uint32_t kGenericWrite = 0x40000000;  // GENERIC_WRITE
}  // namespace file_rights

// SIDs this file names.
extern const wchar_t* const kSystemSid;            // S-1-5-18
extern const wchar_t* const kAdministratorsSid;    // S-1-5-32-544
extern const wchar_t* const kTrustedInstallerSid;  // NT SERVICE\TrustedInstaller
extern const wchar_t* const kUsersSid;             // S-1-5-32-545
extern const wchar_t* const kEveryoneSid;          // S-1-1-0

// SYSTEM, Administrators or TrustedInstaller.
bool IsTrustedSid(const std::wstring& sid);

// "S-1-5-32-544" from a SID as stored, or nothing when `size` bytes do not
// hold a whole one (revision 1, at most 15 subauthorities).
std::optional<std::wstring> SidText(const std::uint8_t* sid, std::size_t size);
// The size of the SID as stored at `sid` (from its subauthority count), or 0
// when fewer than `available` bytes cannot hold it.
std::size_t StoredSidSize(const std::uint8_t* sid, std::size_t available);

// One entry of an access list.
struct AccessEntry {
    enum class Kind { Allow, Deny, Other };
    Kind kind = Kind::Other;
    bool conditional = false;  // a callback entry
    std::uint8_t flags = 0;    // ACE_HEADER's AceFlags
    std::uint32_t mask = 0;
    std::wstring sid;
};
// Entry flags (winnt.h).
constexpr std::uint8_t kObjectInherit = 0x01;
constexpr std::uint8_t kContainerInherit = 0x02;
constexpr std::uint8_t kInheritOnly = 0x08;

// The entries of an access list as stored (`size` bytes at `acl`, its
// AclSize at most), in their order; nothing when it is malformed.
std::optional<std::vector<AccessEntry>> ParseAccessList(const std::uint8_t* acl, std::size_t size);

// What the file system keeps of one file or folder.
struct StoredSecurity {
    std::wstring owner;  // SID text; empty when there is none
    bool daclPresent = true;  // false: a NULL access list
    std::vector<AccessEntry> entries;
};

// The place of an object on the way to a program, which decides the rights
// that count.
enum class PathRole {
    Program,      // the program file: write or append to it, delete or rename it, its access list, its owner
    Folder,       // its folder: create files or folders in it, delete what it holds, delete or rename it,
                  // its access list, its owner; and what inheritable entries give the files and folders
                  // created in it later
    FolderAbove,  // a folder above: delete or rename it, delete or rename what it holds, its access list,
                  // its owner
    Root,         // the root of the drive or share: as a folder above, but a root cannot be renamed
};

// One trustee other than SYSTEM, Administrators and TrustedInstaller that
// can change the object.
struct Writer {
    std::wstring sid;
    std::uint32_t rights = 0;           // of the rights that count for the role, those it holds
    std::uint32_t newFileRights = 0;    // the program's folder: of files created in it later
    std::uint32_t newFolderRights = 0;  // the program's folder: of folders created in it later
    bool owner = false;                 // it owns the object
    bool nullDacl = false;              // everyone, through a NULL access list
};

// The rights that count for a role.
std::uint32_t RightsThatCount(PathRole role);

// Everyone but SYSTEM, Administrators and TrustedInstaller who can change
// the object, in the order of the access list (the owner first).
std::vector<Writer> OtherWriters(const StoredSecurity& security, PathRole role);

// The program, its folder, every folder above it and the root, in this
// order, for a full path ("C:\...", "\\server\share\...", "\\?\C:\...").
// A path without a root gives the program and its folder only, and a bare
// file name the program only.
struct PathStep {
    std::wstring path;
    PathRole role;
};
std::vector<PathStep> ProgramPathSteps(const std::wstring& programPath);
// The same for a folder: the folder, the folders above, the root.
std::vector<PathStep> FolderPathSteps(const std::wstring& folder);

// What was found of one step.
struct PathSecurity {
    std::wstring path;
    PathRole role = PathRole::Program;
    std::uint32_t error = 0;  // nonzero: its security could not be read (a Windows error)
    std::vector<Writer> writers;
};

// Whether only SYSTEM, Administrators and TrustedInstaller can change what
// was read: no writer anywhere, and every step read.
bool OnlyTrustedCanChange(const std::vector<PathSecurity>& steps);

// "create files, delete or rename it" for a writer of a step, or "owns it,
// and so may change its access list"; `name` gives a SID's account name
// ("BUILTIN\Users") or empty when it has none.
std::wstring WriterRightsText(const Writer& writer, PathRole role);
// "C:\Tarnwick: NT AUTHORITY\Authenticated Users (S-1-5-11) may create
// files, ...; BUILTIN\Users (S-1-5-32-545) may ..." for each step with
// writers, and "C:\X: its access list cannot be read (<error>)" for a step
// not read, joined with "; ".
std::wstring PathSecurityText(const std::vector<PathSecurity>& steps,
                              const std::function<std::wstring(const std::wstring& sid)>& name,
                              const std::function<std::wstring(std::uint32_t error)>& errorText);

// The commands that give a folder of programs an access list in which only
// SYSTEM and Administrators may change it (every right; Users read and
// run), owned by Administrators, and the files in it that list by
// inheritance:
// icacls "FOLDER" /setowner *S-1-5-32-544 /T /C & icacls "FOLDER"
// /inheritance:r /grant:r ... [/remove:g *SID ...] & icacls "FOLDER\*" /reset /T /C
// `others` are the SIDs whose entries are to go.
std::wstring ProtectFolderCommand(const std::wstring& folder, const std::vector<std::wstring>& others);
