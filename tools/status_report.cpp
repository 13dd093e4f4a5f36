#include "tools/status_report.h"

#include "common/driver_config.h"
#include "common/error_names.h"
#include "common/lock_policy_path.h"
#include "common/software_sas.h"
#include "tools/check/command_line_program.h"
#include "tools/json_writer.h"
#include "tools/printable_text.h"
#include "tools/registry_values.h"

namespace {

const wchar_t* const kStateNames[] = {L"stopped", L"start-pending", L"stop-pending", L"running",
                                      L"continue-pending", L"pause-pending", L"paused"};

std::wstring ServiceLines(const StatusReport& report)
{
    if (!report.managerOpened) {
        return L"service TarnwickSvc: unknown, the service manager cannot be opened: " +
               LabelError(report.managerError) + L"\n";
    }
    if (!report.installed) {
        return L"service TarnwickSvc: not installed (install the package Tarnwick-VERSION-x64.msi, or run "
               L"\"TarnwickSvc.exe /install\" from an elevated prompt)\n";
    }
    std::wstring text = L"service TarnwickSvc: installed, " +
                        (report.state ? NameServiceState(*report.state) : std::wstring(L"state unknown")) + L"\n";
    if (report.exitCode) {
        text += L"last exit code: " + DescribeExitCode(*report.exitCode, report.exitCodeMeaning);
        if (IsConfigurationFault(*report.exitCode)) {
            text += L": run `TarnwickCtl check`";
        }
        text += L"\n";
    }
    if (report.imagePath) {
        text += L"registered program: " + *report.imagePath;
        if (IsImagePathQuoted(*report.imagePath)) {
            text += L" (quoted)";
        } else {
            const CommandProgram program = ListProgramCandidates(*report.imagePath);
            const size_t intended = PickIntendedCandidate(program, {});
            text += intended > 0 ? L" (not quoted, and it holds blanks: Windows may start " +
                                       AddDefaultExtension(program.candidates[0]) + L" instead)"
                                 : std::wstring(L" (not quoted)");
        }
        text += L"\n";
    }
    return text;
}

std::optional<std::uint32_t> SoftwareSasNumber(const StatusReport& report)
{
    if (!report.softwareSas.present) {
        return std::nullopt;
    }
    return DecodeDword(report.softwareSas.type, report.softwareSas.data);
}

std::wstring SoftwareSasLine(const StatusReport& report)
{
    std::wstring line = std::wstring(kSoftwareSasGeneration) + L": ";
    if (report.softwareSasError != 0) {
        return line + L"cannot be read: " + LabelError(report.softwareSasError) + L"\n";
    }
    line += report.softwareSas.present ? FormatValue(report.softwareSas.type, report.softwareSas.data) : L"absent";
    return line + (SoftwareSasAllowsServices(SoftwareSasNumber(report))
                       ? L" (services may bring up the secure screen: a local Ctrl+Alt+Del goes through the service)\n"
                       : L" (no service may bring up the secure screen: a local Ctrl+Alt+Del is sent as synthesised "
                         L"keys, which Windows ignores; see TarnwickCtl check)\n");
}

}  // namespace

std::wstring NameServiceState(std::uint32_t state)
{
    return state >= 1 && state <= 7 ? kStateNames[state - 1] : L"";
}

bool IsImagePathQuoted(const std::wstring& imagePath)
{
    return !imagePath.empty() && imagePath[0] == L'"';
}

std::optional<std::uint32_t> TakePolicyNumber(const StatusReport& report)
{
    if (!report.policyPresent) {
        return std::nullopt;
    }
    return DecodeDword(report.policyType, report.policyData);
}

std::wstring FormatServiceProgramLine(const StatusReport& report)
{
    if (!report.installed || !report.serviceProgram) {
        return std::wstring();
    }
    const ProgramProtection& protection = *report.serviceProgram;
    if (OnlyTrustedCanChange(protection.steps)) {
        return L"service program: only SYSTEM, Administrators and TrustedInstaller may change it, its folder and "
               L"the folders above\n";
    }
    bool writers = false;
    for (const PathSecurity& step : protection.steps) {
        writers = writers || !step.writers.empty();
    }
    return MakePrintableLine(std::wstring(L"service program: ") +
                         (writers ? L"others may change it: " : L"cannot be checked: ") +
                         SummarizeProtection(protection) +
                         (writers ? L"; it runs as LocalSystem: install Tarnwick with its package into "
                                    L"C:\\Program Files\\Tarnwick, or see TarnwickCtl check"
                                  : L"")) +
           L"\n";
}

std::wstring RenderStatusText(const StatusReport& report)
{
    std::wstring text = ServiceLines(report) + FormatServiceProgramLine(report);
    if (!report.consoleUser) {
        text += L"console user: none\n";
    } else {
        text += L"console user: " + *report.consoleUser + (report.sid ? L" (" + *report.sid + L")" : L"") + L"\n";
        if (report.policyRead) {
            text += std::wstring(kDisableLockWorkstation) + L": " +
                    (report.policyPresent ? FormatValue(report.policyType, report.policyData) : L"absent") + L"\n";
        }
    }
    text += std::wstring(kLogonMarkerName) + (report.logonMarker ? L": exists\n" : L": absent\n");
    text += SoftwareSasLine(report);
    for (const StatusReport::File& file : report.files) {
        text += file.name + L": " +
                (file.version ? *file.version : file.found ? L"no version information" : L"not found") + L"\n";
    }
    return text;
}

std::wstring RenderStatusJson(const StatusReport& report)
{
    KJsonWriter json;
    json.BeginObject().Key(L"service").BeginObject().Key(L"installed").Bool(report.installed);
    json.Key(L"state");
    report.installed && report.state && !NameServiceState(*report.state).empty()
        ? json.String(NameServiceState(*report.state))
        : json.Null();
    json.Key(L"exitCode");
    report.installed && report.exitCode ? json.Number(*report.exitCode) : json.Null();
    json.Key(L"imagePath");
    report.installed && report.imagePath ? json.String(*report.imagePath) : json.Null();
    json.Key(L"imagePathQuoted");
    report.installed && report.imagePath ? json.Bool(IsImagePathQuoted(*report.imagePath)) : json.Null();
    json.EndObject();

    json.Key(L"serviceProgram");
    if (report.installed && report.serviceProgram) {
        const ProgramProtection& protection = *report.serviceProgram;
        json.BeginObject().Key(L"path").String(protection.program);
        json.Key(L"protected").Bool(OnlyTrustedCanChange(protection.steps));
        json.Key(L"changeableBy").BeginArray();
        for (const PathSecurity& step : protection.steps) {
            for (const Writer& writer : step.writers) {
                json.BeginObject().Key(L"path").String(step.path).Key(L"sid").String(writer.sid).Key(L"name");
                const auto name = protection.names.find(writer.sid);
                name != protection.names.end() ? json.String(name->second) : json.Null();
                json.Key(L"rights").String(WriterRightsText(writer, step.role)).EndObject();
            }
        }
        json.EndArray().Key(L"unreadable").BeginArray();
        for (const PathSecurity& step : protection.steps) {
            if (step.error != 0) {
                json.BeginObject().Key(L"path").String(step.path).Key(L"error").Number(step.error).EndObject();
            }
        }
        json.EndArray().EndObject();
    } else {
        json.Null();
    }

    json.Key(L"consoleUser");
    report.consoleUser ? json.String(*report.consoleUser) : json.Null();
    json.Key(L"disableLockWorkstation");
    const std::optional<std::uint32_t> number = TakePolicyNumber(report);
    number ? json.Number(*number) : json.Null();
    json.Key(L"logonMarker").Bool(report.logonMarker);
    json.Key(L"softwareSasGeneration");
    const std::optional<std::uint32_t> softwareSas = SoftwareSasNumber(report);
    softwareSas ? json.Number(*softwareSas) : json.Null();
    json.Key(L"files").BeginObject();
    for (const StatusReport::File& file : report.files) {
        json.Key(file.name);
        file.version ? json.String(*file.version) : json.Null();
    }
    json.EndObject().EndObject();
    return json.Text() + L"\n";
}
