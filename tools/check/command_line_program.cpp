#include "tools/check/command_line_program.h"

#include "common/names.h"

namespace {

const wchar_t* const kAgentFileNames[] = {L"TarnwickAgent.exe", L"TarnwickAgent"};
const wchar_t* const kExecutableExtensions[] = {L".exe", L".com", L".bat", L".cmd"};

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

bool EndsWithExecutableExtension(const std::wstring& path)
{
    for (const wchar_t* extension : kExecutableExtensions) {
        const std::wstring ext = extension;
        if (path.size() > ext.size() && NamesEqual(path.substr(path.size() - ext.size()), ext.c_str())) {
            return true;
        }
    }
    return false;
}

}  // namespace

CommandProgram ListProgramCandidates(const std::wstring& command)
{
    CommandProgram program;
    if (command.empty()) {
        return program;
    }
    if (command[0] == L'"') {
        program.quoted = true;
        const size_t close = command.find(L'"', 1);
        program.candidates.push_back(command.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
        return program;
    }
    for (size_t i = 1; i < command.size(); ++i) {
        if (IsBlank(command[i]) && !IsBlank(command[i - 1])) {
            program.candidates.push_back(command.substr(0, i));
        }
    }
    if (!IsBlank(command.back())) {
        program.candidates.push_back(command);
    }
    if (program.candidates.empty()) {
        program.candidates.push_back(command);
    }
    return program;
}

size_t PickIntendedCandidate(const CommandProgram& program, const std::vector<bool>& found)
{
    for (size_t i = 0; i < program.candidates.size(); ++i) {
        if (EndsWithExecutableExtension(program.candidates[i])) {
            return i;
        }
    }
    for (size_t i = program.candidates.size(); i > 0; --i) {
        if (i - 1 < found.size() && found[i - 1]) {
            return i - 1;
        }
    }
    return 0;
}

bool IsAbsolutePath(const std::wstring& path)
{
    const bool drive = path.size() >= 3 &&
                       ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
    return drive || unc;
}

std::wstring TakeFileName(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring TakeFolder(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool IsAgentProgram(const std::wstring& program)
{
    const std::wstring file = TakeFileName(program);
    for (const wchar_t* name : kAgentFileNames) {
        if (NamesEqual(file, name)) {
            return true;
        }
    }
    return false;
}

std::wstring AddDefaultExtension(const std::wstring& path)
{
    return TakeFileName(path).find(L'.') == std::wstring::npos ? path + L".exe" : path;
}

std::wstring FindRegisteredProgram(const std::wstring& imagePath)
{
    const CommandProgram program = ListProgramCandidates(imagePath);
    if (program.candidates.empty()) {
        return std::wstring();
    }
    return AddDefaultExtension(program.candidates[PickIntendedCandidate(program, {})]);
}
