#include "tools/service_query.h"

#include "service/service_registration.h"
#include "tools/check/command_line_program.h"

#include <vector>

ServiceFacts QueryTarnwickService()
{
    return QueryService(kServiceName);
}

std::wstring ImageFolder(const std::wstring& imagePath)
{
    const CommandProgram program = ProgramCandidates(imagePath);
    if (program.candidates.empty()) {
        return std::wstring();
    }
    return FolderPart(program.candidates[IntendedCandidate(program, {})]);
}

std::wstring OwnFolder()
{
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length = win32.GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return FolderPart(std::wstring(path.data(), length));
}
