#include "tools/check/check_rules.h"

#include "agent/client_policy.h"
#include "agent/hotkey_names.h"
#include "common/driver_config.h"
#include "common/error_names.h"
#include "common/software_sas.h"
#include "tools/check/command_line_program.h"
#include "tools/printable_text.h"
#include "tools/registry_values.h"

namespace {


std::wstring HotkeyKeyText()
{
    return std::wstring(L"HKEY_LOCAL_MACHINE\\") + kHotkeyKeyPath;
}

Finding Make(Severity severity, const std::optional<std::wstring>& hotkey, const std::optional<std::wstring>& value,
             const std::wstring& text)
{
    Finding finding;
    finding.hotkey = hotkey;
    finding.value = value;
    finding.severity = severity;
    finding.text = text;
    return finding;
}

std::wstring AccessAdvice(std::uint32_t error)
{
    return error == kErrorAccessDenied
               ? L"; TarnwickCtl reads with the rights of whoever runs it: run it from an elevated prompt to read "
                 L"what the service reads"
               : L"";
}

bool IsFourByteNumber(const StoredValue& stored)
{
    return DecodeDword(stored.type, stored.data).has_value();
}

// Why "run" keeps the service from loading the hotkey, from what is stored.
Finding RunFault(const HotkeyFacts& facts, std::uint32_t error, const CheckLimits& limits)
{
    const std::wstring& name = facts.name;
    if (!facts.run.present) {
        return Make(Severity::Error, name, L"run",
                    L"there is no \"run\" value; every hotkey needs one, of type REG_SZ");
    }
    if (facts.run.type != kTypeSz) {
        return Make(Severity::Error, name, L"run",
                    L"\"run\" is " + NameValueType(facts.run.type) + L"; the service takes only REG_SZ");
    }
    const size_t length = DecodeStringData(facts.run.data).size();
    if (length > limits.commandChars) {
        return Make(Severity::Error, name, L"run",
                    L"\"run\" has " + std::to_wstring(length) + L" characters; the service takes at most " +
                        std::to_wstring(limits.commandChars));
    }
    return Make(Severity::Error, name, L"run", L"\"run\" cannot be read: " + LabelError(error));
}

std::vector<Finding> HotkeyErrors(const HotkeyFacts& facts, const CheckLimits& limits)
{
    std::vector<Finding> errors;
    if (facts.configRead) {
        return errors;
    }
    const std::wstring& name = facts.name;
    if (facts.name.size() > limits.nameChars) {
        errors.push_back(Make(Severity::Error, name, std::nullopt,
                              L"the name has " + std::to_wstring(facts.name.size()) +
                                  L" characters; the service takes names of at most " +
                                  std::to_wstring(limits.nameChars)));
        if (facts.runFault) {
            errors.push_back(RunFault(facts, *facts.runFault, limits));
        }
    } else if (HotkeyEventIsTheLogonMarker(name)) {
        errors.push_back(Make(Severity::Error, name, std::nullopt,
                              L"the hotkey's event would be " + QuoteText(HotkeyEventName(name.c_str())) +
                                  L", the name of the service's logon marker (names of events ignore letter case): "
                                  L"the service refuses the name; give the hotkey another one"));
        if (facts.runFault) {
            errors.push_back(RunFault(facts, *facts.runFault, limits));
        }
    } else if (!facts.subkeyOpened) {
        errors.push_back(
            Make(Severity::Error, name, std::nullopt,
                 L"the subkey cannot be opened: " + LabelError(facts.subkeyError) + AccessAdvice(facts.subkeyError)));
    } else {
        errors.push_back(RunFault(facts, facts.configError, limits));
    }
    return errors;
}

// A "Block" or "BlockLocal" that is not a REG_DWORD of four bytes, with what
// the program that reads it makes of it.
void SettingWarning(const std::wstring& hotkey, const wchar_t* valueName, const StoredValue& stored,
                    const std::wstring& reader, const std::wstring& whenOne, const std::wstring& otherwise,
                    std::vector<Finding>& findings)
{
    if (!stored.present || IsFourByteNumber(stored)) {
        return;
    }
    const SettingReading reading = ReadSetting(stored);
    std::wstring text =
        QuoteText(valueName) + L" is " + FormatValue(stored.type, stored.data) + L", not a 4-byte number (REG_DWORD): ";
    if (!reading.read) {
        text += L"it is longer than 4 bytes, so " + reader + L" counts it as 0 and " + otherwise;
    } else {
        text += reader + L" reads it as " + std::to_wstring(reading.value) + L", so " +
                (reading.value == 1 ? whenOne : otherwise);
    }
    findings.push_back(Make(Severity::Warning, hotkey, std::wstring(valueName), text));
}

// Warnings about what a non-empty "run" starts, and with which arguments.
void CommandWarnings(const HotkeyFacts& facts, const CommandProgram& program, std::vector<Finding>& warnings)
{
    const std::wstring& name = facts.name;
    const std::wstring& command = *facts.command;
    const size_t intended = PickIntendedCandidate(program, facts.programFound);
    const std::wstring& path = program.candidates[intended];
    const bool agent = IsAgentProgram(path);
    const std::wstring received = HotkeyNameFromCommandLine((command + L" " + name).c_str());
    const bool agentIgnores = agent && ClassifyHotkey(received.c_str()) == AgentHotkey::None;

    if (intended > 0) {
        std::wstring tried;
        for (size_t i = 0; i < intended; ++i) {
            tried += (i > 0 ? L", " : L"") + AddDefaultExtension(program.candidates[i]);
        }
        std::wstring text = L"the program path " + path + L" holds blanks and is not quoted: Windows first looks for " +
                            tried + L" and would start whatever it finds there as LocalSystem";
        if (agentIgnores) {
            text += L", and the agent would receive " + QuoteText(received) + L" as its hotkey name instead of " +
                    QuoteText(name) + L" and do nothing";
        }
        warnings.push_back(Make(Severity::Warning, name, L"run", text + L"; quote the path: " + QuoteText(path)));
    }
    const bool found = intended < facts.programFound.size() && facts.programFound[intended];
    if (!found && (program.quoted || IsAbsolutePath(path))) {
        const std::wstring file = AddDefaultExtension(path);
        warnings.push_back(Make(Severity::Warning, name, L"run",
                                IsAbsolutePath(path) ? L"the program " + file + L" does not exist"
                                                     : L"the program " + file + L" is found neither in " +
                                                           facts.searchedFolder + L" nor on the system's search path"));
    }
    if (agentIgnores && intended == 0) {
        if (received == name) {
            warnings.push_back(Make(Severity::Warning, name, std::nullopt,
                                    L"the agent acts only on the hotkey names LWin+L, RWin+L and ctrl+alt+del (in "
                                    L"any letter case), not on " +
                                        QuoteText(name) + L": a press does nothing"));
        } else {
            warnings.push_back(Make(Severity::Warning, name, L"run",
                                    L"the agent receives " + QuoteText(received) +
                                        L" as its hotkey name (what follows its program path) and acts only on "
                                        L"LWin+L, RWin+L and ctrl+alt+del: a press does nothing; leave nothing "
                                        L"after the agent's path in \"run\""));
        }
    }
    if (!agent && (name.find(L' ') != std::wstring::npos || name.find(L'\t') != std::wstring::npos)) {
        warnings.push_back(Make(Severity::Warning, name, std::nullopt,
                                L"the name holds a blank, so the started program receives it as several "
                                L"arguments"));
    }
}

bool HasWriters(const ProgramProtection& protection, bool nearby)
{
    for (const PathSecurity& step : protection.steps) {
        const bool near = step.role == PathRole::Program || step.role == PathRole::Folder;
        if (near == nearby && !step.writers.empty()) {
            return true;
        }
    }
    return false;
}

bool HasUnreadable(const ProgramProtection& protection, std::uint32_t error)
{
    for (const PathSecurity& step : protection.steps) {
        if (step.error != 0 && (error == 0 || step.error == error)) {
            return true;
        }
    }
    return false;
}

// The program's folder, and the SIDs that may change it or the program.
std::wstring ProtectCommand(const ProgramProtection& protection)
{
    std::wstring folder;
    std::vector<std::wstring> sids;
    for (const PathSecurity& step : protection.steps) {
        if (step.role == PathRole::Folder) {
            folder = step.path;
        }
        if (step.role == PathRole::Program || step.role == PathRole::Folder) {
            for (const Writer& writer : step.writers) {
                sids.push_back(writer.sid);
            }
        }
    }
    return folder.empty() ? std::wstring() : ProtectFolderCommand(folder, sids);
}

// A warning about a program that runs as LocalSystem, or nothing when only
// SYSTEM, Administrators and TrustedInstaller may change it.
std::optional<Finding> ProtectionFinding(const ProgramProtection& protection, const std::optional<std::wstring>& hotkey,
                                         const std::wstring& whose, const std::wstring& runs,
                                         const std::wstring& when, const std::wstring& move)
{
    if (OnlyTrustedCanChange(protection.steps)) {
        return std::nullopt;
    }
    const std::optional<std::wstring> value = hotkey ? std::optional<std::wstring>(L"run") : std::nullopt;
    const std::wstring details = DescribeProtection(protection);
    const std::wstring elevated = HasUnreadable(protection, kErrorAccessDenied)
                                      ? L"; TarnwickCtl reads with the rights of whoever runs it: run it from an "
                                        L"elevated prompt to read them"
                                      : L"";
    const bool nearby = HasWriters(protection, true);
    const bool above = HasWriters(protection, false);
    if (!nearby && !above) {
        return Make(Severity::Warning, hotkey, value,
                    L"whether others than SYSTEM, Administrators and TrustedInstaller may change " + whose +
                        protection.program + L" cannot be told: " + details + elevated);
    }
    std::wstring text = whose + protection.program + L" is not protected: " + details + L". " + runs +
                        L", and Windows looks in the program's folder first for the DLLs it loads: whoever may "
                        L"change the program or its folder, or rename a folder above them, can run code as "
                        L"LocalSystem " + when + L". Let only SYSTEM, Administrators and TrustedInstaller change "
                        L"them: " + move;
    const std::wstring command = ProtectCommand(protection);
    if (nearby && !command.empty()) {
        text += L", or run from an elevated prompt: " + command;
    }
    if (above) {
        text += nearby ? L"; and take the rights named away on the folders above it"
                       : L", or take the rights named away on the folders above it";
    }
    return Make(Severity::Warning, hotkey, value, text + elevated);
}

}  // namespace

SettingReading ReadSetting(const StoredValue& stored)
{
    SettingReading reading;
    if (!stored.present || stored.data.size() > 4) {
        return reading;
    }
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < stored.data.size(); ++i) {
        bytes[i] = stored.data[i];
    }
    reading.read = true;
    reading.value = DwordFromBytes(bytes);
    return reading;
}

std::vector<Finding> CheckHotkeyReading(const HotkeyFacts& facts, const CheckLimits& limits)
{
    std::vector<Finding> findings = HotkeyErrors(facts, limits);
    const std::wstring& name = facts.name;
    if (facts.subkeyOpened) {
        SettingWarning(name, L"Block", facts.blockValue, L"the service", L"the service starts nothing for the hotkey",
                       L"the hotkey is not blocked", findings);
        SettingWarning(name, L"BlockLocal", facts.blockLocal, L"the agent", L"the local action is blocked",
                       L"the local action is not blocked", findings);
    }
    bool agent = false;
    if (facts.command && !facts.command->empty()) {
        const CommandProgram program = ListProgramCandidates(*facts.command);
        const std::wstring& path = program.candidates[PickIntendedCandidate(program, facts.programFound)];
        agent = IsAgentProgram(path);
        CommandWarnings(facts, program, findings);
        if (!agent) {
            findings.push_back(Make(Severity::Warning, name, L"run",
                                    L"the program " + path +
                                        L" is not the agent: the service starts it as LocalSystem on the desktop of "
                                        L"the user at the console, and any window it shows hands that user "
                                        L"LocalSystem's rights (a file dialog is enough to start any program); let "
                                        L"\"run\" start only programs that show no window"));
        }
        if (facts.protection) {
            if (const std::optional<Finding> finding = ProtectionFinding(
                    *facts.protection, name, L"the program ", L"The service starts it as LocalSystem",
                    L"at the next press of the hotkey",
                    L"put the program into a folder that only they may change, as C:\\Program Files is")) {
                findings.push_back(*finding);
            }
        }
    }
    if (facts.configRead && facts.block == 1) {
        findings.push_back(Make(Severity::Info, name, L"Block",
                                agent ? L"\"Block\" is 1: the service starts nothing for this hotkey, so the key does "
                                        L"nothing at all, neither in a remote-desktop client nor locally"
                                      : L"\"Block\" is 1: the service starts nothing for this hotkey"));
    } else if (facts.command && facts.command->empty()) {
        findings.push_back(Make(Severity::Info, name, L"run", L"\"run\" is empty: the hotkey starts nothing"));
    }
    return findings;
}

CheckResult EvaluateCheck(const KeyFacts& key, const std::vector<HotkeyFacts>& hotkeys, const CheckLimits& limits)
{
    CheckResult result;
    result.hotkeys = key.names;
    if (!key.namesRead) {
        result.exitCode = key.namesError;
        const size_t before = result.findings.size();
        if (!key.keyOpened && key.keyError == kErrorFileNotFound) {
            result.findings.push_back(
                Make(Severity::Error, std::nullopt, std::nullopt,
                     L"the hotkey key " + HotkeyKeyText() + L" does not exist; create it with one subkey per hotkey"));
        } else if (!key.keyOpened) {
            result.findings.push_back(Make(Severity::Error, std::nullopt, std::nullopt,
                                           L"the hotkey key " + HotkeyKeyText() + L" cannot be opened: " +
                                               LabelError(key.keyError) + AccessAdvice(key.keyError)));
        } else {
            if (key.subkeyCount > key.names.size()) {
                result.findings.push_back(
                    Make(Severity::Error, std::nullopt, std::nullopt,
                         std::to_wstring(key.subkeyCount - key.names.size()) + L" of the " +
                             std::to_wstring(key.subkeyCount) +
                             L" subkeys of the hotkey key cannot be enumerated (a name of 255 characters or more)"));
            }
            if (key.subkeyCount == 0) {
                result.findings.push_back(Make(
                    Severity::Error, std::nullopt, std::nullopt,
                    L"the hotkey key " + HotkeyKeyText() + L" has no subkeys; the service needs at least one hotkey"));
            }
            if (key.subkeyCount > limits.hotkeys) {
                result.findings.push_back(Make(Severity::Error, std::nullopt, std::nullopt,
                                               L"the hotkey key has " + std::to_wstring(key.subkeyCount) +
                                                   L" subkeys; the service takes at most " +
                                                   std::to_wstring(limits.hotkeys) + L" hotkeys"));
            }
        }
        if (result.findings.size() == before) {
            result.findings.push_back(
                Make(Severity::Error, std::nullopt, std::nullopt,
                     L"the service cannot read the names of the hotkeys: " + LabelError(key.namesError)));
        }
    }
    bool refused = !key.namesRead;
    for (const HotkeyFacts& facts : hotkeys) {
        std::vector<Finding> findings = CheckHotkeyReading(facts, limits);
        if (!facts.configRead) {
            if (!refused) {
                result.exitCode = facts.configError;
                refused = true;
            }
            const bool explained = !findings.empty() && findings.front().severity == Severity::Error;
            if (!explained) {
                findings.insert(findings.begin(),
                                Make(Severity::Error, facts.name, std::nullopt,
                                     L"the service cannot read this hotkey: " + LabelError(facts.configError)));
            }
        }
        result.findings.insert(result.findings.end(), findings.begin(), findings.end());
    }
    result.wouldStart = !refused;
    if (result.wouldStart) {
        result.exitCode = 0;
    }
    return result;
}

std::wstring DescribeProtection(const ProgramProtection& protection)
{
    return PathSecurityText(
        protection.steps,
        [&](const std::wstring& sid) {
            const auto found = protection.names.find(sid);
            return found != protection.names.end() ? found->second : std::wstring();
        },
        [](std::uint32_t error) { return LabelError(error); });
}

std::wstring SummarizeProtection(const ProgramProtection& protection)
{
    std::wstring text;
    for (const PathSecurity& step : protection.steps) {
        std::wstring who;
        if (step.error != 0) {
            who = L"cannot be read: " + LabelError(step.error);
        }
        for (const Writer& writer : step.writers) {
            const auto name = protection.names.find(writer.sid);
            who += (who.empty() ? L"" : L", ") +
                   (writer.nullDacl               ? std::wstring(L"everyone")
                    : name != protection.names.end() ? name->second
                                                     : writer.sid);
        }
        if (!who.empty()) {
            text += (text.empty() ? L"" : L", ") + step.path + L" (" + who + L")";
        }
    }
    return text;
}

std::optional<Finding> CheckServiceProgram(const ProgramProtection& protection)
{
    return ProtectionFinding(protection, std::nullopt, L"the service's program ",
                             L"The service runs it as LocalSystem", L"at the service's next start",
                             L"install Tarnwick with its package, into C:\\Program Files\\Tarnwick");
}

std::optional<Finding> CheckSoftwareSasPolicy(const StoredValue& policy, std::uint32_t readError)
{
    const std::optional<std::uint32_t> number =
        policy.present ? DecodeDword(policy.type, policy.data) : std::optional<std::uint32_t>();
    if (readError == 0 && SoftwareSasAllowsServices(number)) {
        return std::nullopt;
    }
    const std::wstring policyText = L"the machine policy " + QuoteText(kSoftwareSasGeneration) +
                                    L" under HKEY_LOCAL_MACHINE\\" + kSystemPoliciesKeyPath;
    const std::wstring refusal = L"the service refuses the agent's request and a local Ctrl+Alt+Del press is sent as "
                                 L"synthesised keys, which Windows ignores";
    if (readError != 0) {
        return Make(Severity::Warning, std::nullopt, std::wstring(kSoftwareSasGeneration),
                    policyText + L" cannot be read: " + LabelError(readError) + AccessAdvice(readError) +
                        L"; unless it is 1 or 3, " + refusal);
    }
    const std::wstring what =
        policy.present ? L" is " + FormatValue(policy.type, policy.data) + (number ? L"" : L", not a REG_DWORD")
                       : std::wstring(L" is not set");
    return Make(Severity::Warning, std::nullopt, std::wstring(kSoftwareSasGeneration),
                policyText + what + L": Windows lets no service simulate Ctrl+Alt+Del, so " + refusal +
                    L"; let services (1, or 3 to keep Ease of Access applications): " +
                    SoftwareSasCommand(SoftwareSasAllowingServices(number)));
}

std::vector<Finding> CheckClientPolicy(const std::vector<ClientPolicyValue>& entries)
{
    std::vector<Finding> findings;
    for (const ClientPolicyValue& value : entries) {
        const std::wstring where = L"the client entry " + QuoteText(value.name) + L" of " +
                                   std::wstring(L"HKEY_LOCAL_MACHINE\\") + kClientPolicyKeyPath;
        ClientPolicyEntry entry;
        ClientPolicyFault fault = ClientPolicyFault::NotTheGrammar;
        if (value.stored.type == kTypeSz) {
            fault = ParseClientPolicyEntry(value.name, DecodeStringData(value.stored.data), entry);
        } else if (FindRemoteClientRow(value.name.c_str()) != nullptr) {
            fault = ClientPolicyFault::BuiltInName;
        }
        if (fault == ClientPolicyFault::None) {
            findings.push_back(Make(Severity::Info, std::nullopt, value.name,
                                    value.name + L" is handled like " + entry.like->executableName +
                                        (entry.byClass   ? L", its key window found by the class " + QuoteText(entry.className)
                                         : entry.byText ? L", its key window found by the text " + QuoteText(entry.windowText)
                                                        : std::wstring())));
            continue;
        }
        std::wstring why = ClientPolicyFaultText(fault);
        if (fault == ClientPolicyFault::NotTheGrammar && value.stored.type != kTypeSz) {
            why = L"it is " + NameValueType(value.stored.type) + L", not REG_SZ";
        }
        const std::wstring outcome = fault == ClientPolicyFault::BuiltInName
                                         ? std::wstring()
                                         : L"; with " + value.name + L" in front a press is handled as for any other "
                                                                     L"program";
        findings.push_back(Make(Severity::Warning, std::nullopt, value.name, where + L" is ignored: " + why + outcome));
    }
    return findings;
}
