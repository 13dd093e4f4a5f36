#include "tools/status.h"

#include "common/driver_config.h"
#include "common/handles.h"
#include "common/lock_policy.h"
#include "tools/check/check_rules.h"
#include "tools/check/command_line_program.h"
#include "tools/check/program_protection.h"
#include "tools/check/software_sas_reading.h"
#include "tools/ctl_messages.h"
#include "tools/lock_policy_verb.h"
#include "tools/service_event_access.h"
#include "tools/service_query.h"

#include <vector>

namespace {

const wchar_t* const kProgramFiles[] = {L"TarnwickSvc.exe", L"TarnwickAgent.exe", L"TarnwickCtl.exe"};

StatusReport::File FileVersion(const std::wstring& folder, const wchar_t* name)
{
    StatusReport::File file;
    file.name = name;
    const std::wstring path = folder + L"\\" + name;
    file.found = win32.GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    DWORD ignored = 0;
    const DWORD size = win32.GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return file;
    }
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (win32.GetFileVersionInfoW(path.c_str(), 0, size, block.data()) &&
        win32.VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed != nullptr &&
        fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
        file.version = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                       std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                       std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                       std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    }
    return file;
}

}  // namespace

StatusReport GatherStatus(KCtlOutput& output, bool& complete)
{
    complete = true;
    StatusReport report;
    const ServiceFacts service = QueryTarnwickService();
    report.managerOpened = service.managerOpened;
    report.installed = service.installed;
    if (!service.managerOpened) {
        report.managerError = service.error;
        output.Err(FormatFailure(L"cannot open the service manager", service.error));
        complete = false;
    } else if (!service.installed && service.error != ERROR_SERVICE_DOES_NOT_EXIST) {
        output.Err(FormatFailure(L"cannot open the service TarnwickSvc", service.error));
        complete = false;
    } else if (service.installed) {
        if (service.statusRead) {
            report.state = service.state;
            report.exitCode = service.exitCode;
            report.exitCodeMeaning = DescribeServiceExitCode(service.exitCode);
        }
        if (service.configRead) {
            report.imagePath = service.imagePath;
            const std::wstring program = FindRegisteredProgram(service.imagePath);
            if (!program.empty()) {
                report.serviceProgram = ReadProgramProtection(program);
            }
        }
        if (!service.statusRead || !service.configRead) {
            output.Err(FormatFailure(L"cannot query the service TarnwickSvc", service.error));
            complete = false;
        }
    }

    std::wstring user;
    LockPolicyReading policy;
    if (ReadConsoleUserLockPolicy(user, policy)) {
        report.consoleUser = user;
        if (!policy.sidFound) {
            output.Err(FormatFailure(L"cannot look up the SID of \"" + user + L"\"", policy.sidError));
            complete = false;
        } else {
            report.sid = policy.sid;
            report.policyRead = policy.Present() || policy.Absent();
            report.policyPresent = policy.Present();
            report.policyType = policy.type;
            report.policyData = policy.data;
            if (!report.policyRead) {
                output.Err(FormatFailure(L"cannot read " + std::wstring(kDisableLockWorkstation) +
                                              L" under HKEY_USERS\\" + policy.keyPath,
                                          static_cast<DWORD>(policy.result)));
                complete = false;
            }
        }
    } else if (policy.sidError != ERROR_SUCCESS) {
        // Not an empty console: the question who is at it failed.
        output.Err(FormatFailure(L"cannot tell who is logged on at the console", policy.sidError));
        complete = false;
    }

    DWORD markerError = ERROR_SUCCESS;
    report.logonMarker = static_cast<bool>(OpenServiceEvent(kLogonMarkerName, SYNCHRONIZE, markerError));

    const SoftwareSasReading softwareSas = ReadSoftwareSasPolicy();
    report.softwareSas = softwareSas.stored;
    report.softwareSasError = softwareSas.error;

    const std::wstring folder = FindOwnFolder();
    if (folder.empty()) {
        output.Err(FormatFailure(L"cannot find the folder of TarnwickCtl, beside which the programs are",
                                  win32.GetLastError()));
        complete = false;
    } else {
        for (const wchar_t* name : kProgramFiles) {
            report.files.push_back(FileVersion(folder, name));
        }
    }
    return report;
}

int RunStatusVerb(const CtlCommand& command, KCtlOutput& output)
{
    bool complete = true;
    const StatusReport report = GatherStatus(output, complete);
    output.Out(command.json ? RenderStatusJson(report) : RenderStatusText(report));
    return complete ? 0 : kExitFailed;
}
