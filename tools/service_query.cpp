#include "tools/service_query.h"

#include "service/service_registration.h"
#include "tools/check/command_line_program.h"

#include <vector>

ServiceFacts QueryTarnwickService()
{
    return QueryService(kServiceName);
}

std::wstring FindImageFolder(const std::wstring& imagePath)
{
    const CommandProgram program = ListProgramCandidates(imagePath);
    if (program.candidates.empty()) {
        return std::wstring();
    }
    return TakeFolder(program.candidates[PickIntendedCandidate(program, {})]);
}

std::wstring FindOwnFolder()
{
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length = win32.GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return TakeFolder(std::wstring(path.data(), length));
}
