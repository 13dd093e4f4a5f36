#include "tools/service_query.h"

#include "common/handles.h"
#include "service/service_registration.h"
#include "tools/check/command_line_program.h"

#include <vector>

ServiceFacts QueryTarnwickService()
{
    ServiceFacts facts;
    KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        facts.error = win32.GetLastError();
        return facts;
    }
    facts.managerOpened = true;
    KScHandle service(win32.OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (!service) {
        facts.error = win32.GetLastError();
        return facts;
    }
    facts.installed = true;

    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (win32.QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                             &needed)) {
        facts.statusRead = true;
        facts.state = status.dwCurrentState;
        facts.exitCode = status.dwWin32ExitCode;
    } else {
        facts.error = win32.GetLastError();
    }

    needed = 0;
    win32.QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed > 0 ? needed : sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (win32.QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
        facts.configRead = true;
        facts.imagePath = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"";
    } else {
        facts.error = win32.GetLastError();
    }
    return facts;
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
