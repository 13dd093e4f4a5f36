#include "tools/window_tree.h"

#include "tools/json_writer.h"
#include "tools/printable_text.h"

namespace {

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + MakePrintableLine(text) + L"\"";
}

std::wstring WindowName(const WindowsReport& report, const std::optional<std::size_t>& index)
{
    if (!index || *index >= report.windows.size()) {
        return L"none";
    }
    const TreeWindow& window = report.windows[*index];
    return L"#" + std::to_wstring(*index) + L" (class " + Quoted(window.className) + L", text " +
           Quoted(window.text) + L")";
}

void IndexOrNull(KJsonWriter& json, const std::optional<std::size_t>& index)
{
    if (index) {
        json.Number(static_cast<std::int64_t>(*index));
    } else {
        json.Null();
    }
}

}  // namespace

std::wstring RenderWindowsText(const WindowsReport& report)
{
    if (!report.foreground) {
        return L"no window in front\n";
    }
    std::wstring text = L"program in front: " +
                        (report.programName ? MakePrintableLine(*report.programName)
                                            : std::wstring(L"cannot be read")) +
                        L"\nwindows (#, depth, class, text; depth 0 is the foreground window):\n";
    for (std::size_t i = 0; i < report.windows.size(); ++i) {
        const TreeWindow& window = report.windows[i];
        text += L"  #" + std::to_wstring(i) + L" " + std::wstring(2 * window.depth, L' ') +
                std::to_wstring(window.depth) + L" " + Quoted(window.className) + L" " + Quoted(window.text) + L"\n";
    }
    text += L"what each built-in client's rule would take here (like=NAME in a client entry):\n";
    for (const RowPick& pick : report.picks) {
        text += L"  like=" + pick.executableName + L": key window " + WindowName(report, pick.keyWindow) +
                L", command window " + WindowName(report, pick.commandWindow) + L"\n";
    }
    return text;
}

std::wstring RenderWindowsJson(const WindowsReport& report)
{
    KJsonWriter json;
    json.BeginObject().Key(L"foreground").Bool(report.foreground).Key(L"program");
    if (report.programName) {
        json.String(*report.programName);
    } else {
        json.Null();
    }
    json.Key(L"windows").BeginArray();
    for (std::size_t i = 0; i < report.windows.size(); ++i) {
        const TreeWindow& window = report.windows[i];
        json.BeginObject()
            .Key(L"index")
            .Number(static_cast<std::int64_t>(i))
            .Key(L"depth")
            .Number(window.depth)
            .Key(L"class")
            .String(window.className)
            .Key(L"text")
            .String(window.text)
            .EndObject();
    }
    json.EndArray().Key(L"builtInClients").BeginArray();
    for (const RowPick& pick : report.picks) {
        json.BeginObject().Key(L"like").String(pick.executableName).Key(L"keyWindow");
        IndexOrNull(json, pick.keyWindow);
        json.Key(L"commandWindow");
        IndexOrNull(json, pick.commandWindow);
        json.EndObject();
    }
    json.EndArray().EndObject();
    return json.Text() + L"\n";
}
