// Feeds arbitrary text to the rules that read outside input: the agent's
// command line and hotkey names, name comparison, TarnwickCtl's arguments,
// value display, reading of a "run" command, JSON strings and finding lines,
// and the access lists and SIDs that the file system gives, and the steps
// from a program's path to its root. Built natively with libFuzzer and the sanitizers; any
// crash, undefined behaviour or broken invariant ends the run.
#include "agent/blocking_rules.h"
#include "agent/hotkey_names.h"
#include "common/driver_config.h"
#include "common/folder_security_rules.h"
#include "common/names.h"
#include "tools/check/check_rules.h"
#include "tools/check/check_text.h"
#include "tools/check/command_line_program.h"
#include "tools/ctl_args.h"
#include "tools/json_writer.h"
#include "tools/registry_values.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Two bytes a character, as on Windows.
std::wstring WideText(const std::uint8_t* data, size_t size)
{
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::wstring text = WideText(data, size);

    // The hotkey name is a tail of the command line.
    const wchar_t* name = HotkeyNameFromCommandLine(text.c_str());
    Check(name >= text.c_str() && name <= text.c_str() + text.size());
    const AgentHotkey hotkey = ClassifyHotkey(name);
    Check(NamesEqual(name, name));
    const std::wstring policyName = PolicyValueName(name);
    Check(hotkey == AgentHotkey::LWinL || hotkey == AgentHotkey::RWinL ? policyName == L"Win+L"
                                                                         : policyName == name);
    Check(HotkeySubkeyPath(name).size() == wcslen(kHotkeyKeyPath) + 1 + std::wstring(name).size());

    // TarnwickCtl: NUL-separated arguments, and the raw bytes as a value.
    std::vector<std::wstring> args;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\0', start)) != std::wstring::npos; start = end + 1) {
        args.push_back(text.substr(start, end - start));
    }
    args.push_back(text.substr(start));
    ParseCtlArgs(args);
    std::vector<std::uint8_t> bytes;
    if (ParseHexBytes(text, bytes)) {
        Check(bytes.size() <= text.size() / 2);
    }
    if (size > 0) {
        const std::uint32_t types[] = {kTypeSz, kTypeExpandSz, kTypeBinary, kTypeDword, kTypeQword, data[0]};
        const std::vector<std::uint8_t> raw(data + 1, data + size);
        for (std::uint32_t type : types) {
            FormatValue(type, raw);
            std::vector<std::uint8_t> encoded;
            std::wstring error;
            EncodeValueData(type, text, encoded, error);
        }
    }

    // A "run" command from the registry: its program candidates are
    // prefixes of it (or the quoted part), and a hotkey with that command
    // and name gives findings that each fit one line.
    const CommandProgram program = ListProgramCandidates(text);
    for (const std::wstring& candidate : program.candidates) {
        Check(program.quoted ? text.compare(1, candidate.size(), candidate) == 0
                             : text.compare(0, candidate.size(), candidate) == 0);
    }
    Check(text.empty() == program.candidates.empty());
    if (!program.candidates.empty()) {
        Check(PickIntendedCandidate(program, std::vector<bool>(program.candidates.size(), true)) <
              program.candidates.size());
    }
    HotkeyFacts facts;
    facts.name = name;
    facts.configRead = true;
    facts.command = text;
    facts.subkeyOpened = true;
    facts.programFound.assign(program.candidates.size(), size > 0 && (data[0] & 1) != 0);
    for (const Finding& finding : CheckHotkeyReading(facts, CheckLimits{127, 519, 63})) {
        for (const wchar_t c : FormatFindingLine(finding)) {
            Check(static_cast<std::uint32_t>(c) >= 0x20);
        }
    }

    // The raw bytes as an access list and as a SID: read within their size,
    // and every entry that grants or denies names a SID.
    if (const std::optional<std::vector<AccessEntry>> entries = ParseAccessList(data, size)) {
        StoredSecurity security;
        security.entries = *entries;
        for (const AccessEntry& entry : *entries) {
            Check(entry.kind == AccessEntry::Kind::Other || entry.sid.compare(0, 4, L"S-1-") == 0);
        }
        for (const PathRole role : {PathRole::Program, PathRole::Folder, PathRole::FolderAbove, PathRole::Root}) {
            for (const Writer& writer : OtherWriters(security, role)) {
                Check(!IsTrustedSid(writer.sid) && (writer.rights & ~RightsThatCount(role)) == 0);
            }
        }
    }
    if (const std::optional<std::wstring> sid = SidText(data, size)) {
        Check(sid->compare(0, 4, L"S-1-") == 0);
    }
    // Each step on the way from a program to its root is a beginning of the
    // path, shorter than the one before.
    const std::vector<PathStep> steps = ProgramPathSteps(text);
    for (size_t i = 0; i < steps.size(); ++i) {
        Check(text.compare(0, steps[i].path.size(), steps[i].path) == 0);
        Check(i == 0 || steps[i].path.size() < steps[i - 1].path.size());
    }

    // JSON text is printable ASCII, and a string is quoted.
    const std::wstring json = QuoteJsonString(text);
    Check(json.size() >= 2 && json.front() == L'"' && json.back() == L'"');
    for (const wchar_t c : json) {
        Check(c >= 0x20 && c < 0x7F);
    }
    return 0;
}
