#include "tools/check/check_text.h"

#include "common/error_names.h"
#include "tools/json_writer.h"
#include "tools/printable_text.h"

namespace {

std::wstring SeverityName(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return L"error";
    case Severity::Warning:
        return L"warning";
    case Severity::Info:
        return L"info";
    }
    return L"error";
}

}  // namespace

std::wstring FormatFindingLine(const Finding& finding)
{
    std::wstring line = SeverityName(finding.severity) + L": ";
    if (finding.hotkey) {
        line += L"hotkey " + QuoteText(*finding.hotkey);
        if (finding.value) {
            line += L", value " + QuoteText(*finding.value);
        }
        line += L": ";
    } else if (finding.value) {
        line += L"value " + QuoteText(*finding.value) + L": ";
    }
    return MakePrintableLine(line + finding.text);
}

std::wstring DescribeVerdict(const CheckResult& result, const std::wstring& meaning)
{
    if (!result.wouldStart) {
        return L"the service would refuse to start: exit code " + DescribeExitCode(result.exitCode, meaning);
    }
    std::wstring names;
    for (const std::wstring& name : result.hotkeys) {
        names += (names.empty() ? L"" : L", ") + name;
    }
    const size_t count = result.hotkeys.size();
    return MakePrintableLine(L"the service would start with " + std::to_wstring(count) +
                   (count == 1 ? L" hotkey: " : L" hotkeys: ") + names);
}

std::wstring FormatFindingLines(const std::vector<Finding>& findings)
{
    std::wstring text;
    for (const Finding& finding : findings) {
        text += FormatFindingLine(finding) + L"\n";
    }
    return text;
}

std::wstring RenderCheckText(const CheckResult& result, const std::wstring& meaning)
{
    return FormatFindingLines(result.findings) + DescribeVerdict(result, meaning) + L"\n";
}

std::wstring RenderCheckJson(const CheckResult& result)
{
    KJsonWriter json;
    json.BeginObject().Key(L"wouldStart").Bool(result.wouldStart).Key(L"exitCode").Number(result.exitCode);
    json.Key(L"hotkeys").BeginArray();
    for (const std::wstring& name : result.hotkeys) {
        json.String(name);
    }
    json.EndArray().Key(L"findings").BeginArray();
    for (const Finding& finding : result.findings) {
        json.BeginObject().Key(L"hotkey");
        finding.hotkey ? json.String(*finding.hotkey) : json.Null();
        json.Key(L"value");
        finding.value ? json.String(*finding.value) : json.Null();
        json.Key(L"severity").String(SeverityName(finding.severity)).Key(L"text").String(finding.text).EndObject();
    }
    json.EndArray().EndObject();
    return json.Text() + L"\n";
}
