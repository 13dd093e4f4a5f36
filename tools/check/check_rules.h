// The rules of TarnwickCtl check that need no Windows call: from what was
// read of the driver's hotkey configuration, the findings (errors that make
// the service refuse to start, warnings about what very likely does not do
// what was meant, information) and the verdict.
// Whether a hotkey loads, and with which exit code the service would stop,
// is not decided here: the facts carry what the service's own reading
// (ReadHotkeyNames, ReadHotkeyConfig) reported. Which program a command
// starts: command_line_program.h; the findings as text and JSON:
// check_text.h. Needs no Windows header.
#pragma once

#include "common/folder_security_rules.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

enum class Severity { Error, Warning, Info };

struct Finding {
    std::optional<std::wstring> hotkey;  // the subkey concerned
    std::optional<std::wstring> value;   // the value concerned
    Severity severity = Severity::Error;
    std::wstring text;
};

// One registry value as stored.
struct StoredValue {
    bool present = false;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// A 32-bit setting ("Block", "BlockLocal") as the programs read it: into a
// buffer of four zero bytes, the call failing for a value longer than four
// bytes (which then counts as 0).
struct SettingReading {
    bool read = false;        // false: longer than four bytes, counts as 0
    std::uint32_t value = 0;  // the number read, 0 when not read
};
SettingReading ReadSetting(const StoredValue& stored);

// Who may change a program that runs as LocalSystem (the service's, or a
// hotkey's), its folder and the folders above it.
struct ProgramProtection {
    std::wstring program;
    std::vector<PathSecurity> steps;             // from the program to the root
    std::map<std::wstring, std::wstring> names;  // the account names of the SIDs, where known
};

// "C:\Tarnwick: BUILTIN\Users (S-1-5-32-545) may create files in it; ..."
std::wstring DescribeProtection(const ProgramProtection& protection);

// "C:\\Tools\\Tarnwick (BUILTIN\\Users, S-1-5-21-...), C:\\Tools (cannot be read:
// error 5 (ERROR_ACCESS_DENIED))": who may change which step, in short.
std::wstring SummarizeProtection(const ProgramProtection& protection);

// The warning that others than SYSTEM, Administrators and TrustedInstaller
// may change the service's program, its folder or a folder above it (or
// that this cannot be told), with what to do; nothing when only they may.
std::optional<Finding> CheckServiceProgram(const ProgramProtection& protection);

// What was read of one hotkey.
struct HotkeyFacts {
    std::wstring name;
    // The service's reading of the hotkey (ReadHotkeyConfig).
    bool configRead = false;
    std::uint32_t configError = 0;
    // "run" and "Block" as the service reads them; the command also when the
    // service stops at the name before it reads "run".
    std::optional<std::wstring> command;
    std::uint32_t block = 0;
    // For a name the service refuses before it reads "run" (too long, or the
    // logon marker's): the error that
    // reading "run" gives (ERROR_BAD_CONFIGURATION when it is too long).
    std::optional<std::uint32_t> runFault;
    // The tool's own look at the subkey, for the wording of the findings.
    bool subkeyOpened = false;
    std::uint32_t subkeyError = 0;
    StoredValue run;
    StoredValue blockValue;
    StoredValue blockLocal;
    // Per candidate of the command's program: whether the file was found.
    std::vector<bool> programFound;
    // Where a relative program is looked for, for the message.
    std::wstring searchedFolder;
    // Who may change the program that "run" starts, when it was found.
    std::optional<ProgramProtection> protection;
};

// What was read of the hotkey key.
struct KeyFacts {
    // The service's reading of the names (ReadHotkeyNames).
    bool namesRead = false;
    std::uint32_t namesError = 0;
    std::vector<std::wstring> names;
    // The tool's own look at the key.
    bool keyOpened = false;
    std::uint32_t keyError = 0;
    std::uint32_t subkeyCount = 0;
};

// The service's limits, as its reading defines them: the longest name, the
// longest "run" and the most hotkeys it takes.
struct CheckLimits {
    std::size_t nameChars = 0;
    std::size_t commandChars = 0;
    std::size_t hotkeys = 0;
};

struct CheckResult {
    bool wouldStart = false;
    std::uint32_t exitCode = 0;  // the service's exit code at that start; 0 when it would start
    std::vector<std::wstring> hotkeys;  // in table order
    std::vector<Finding> findings;
};

// The service stops at the first fault: of the names, else of the first
// hotkey in table order that cannot be read. Every problem is a finding.
CheckResult EvaluateCheck(const KeyFacts& key, const std::vector<HotkeyFacts>& hotkeys, const CheckLimits& limits);

// The findings of one hotkey, in the order: errors, warnings, information.
std::vector<Finding> CheckHotkeyReading(const HotkeyFacts& facts, const CheckLimits& limits);

// The warning that the machine policy "SoftwareSASGeneration" (as stored,
// or unreadable with `readError`) does not let services simulate the secure
// attention sequence, with the command that lets them; nothing when it does.
// Without it the service refuses the agent's request and a local
// Ctrl+Alt+Del press is synthesised, which Windows ignores.
std::optional<Finding> CheckSoftwareSasPolicy(const StoredValue& policy, std::uint32_t readError);

// One value of the key of the clients that administrators add by policy.
struct ClientPolicyValue {
    std::wstring name;
    StoredValue stored;
};

// Per entry of that key, in its order: information for an entry that is
// used ("msrdc.exe is handled like mstsc.exe"), a warning for one that is
// ignored, with why (of no hotkey; the value is the entry's name).
std::vector<Finding> CheckClientPolicy(const std::vector<ClientPolicyValue>& entries);
