#include "installer/service_start.h"

#include "common/error_text.h"
#include "common/handles.h"
#include "common/service_query.h"
#include "installer/setup_messages.h"
#include "service/service_registration.h"
#include "tools/check/check.h"
#include "tools/check/check_text.h"

namespace {

std::wstring WindowsError(const wchar_t* what, DWORD error)
{
    return std::wstring(L"TarnwickSvc was not started: ") + what + L" failed with Windows " +
           DescribeError(error, false, std::wstring()) + L".";
}

ServiceStart WatchStart(SC_HANDLE service, const ReportLine& report)
{
    const DWORD started = win32.GetTickCount();
    for (;;) {
        ServiceFacts status;
        if (!ReadServiceStatus(service, status)) {
            report(WindowsError(L"reading the service's state", status.error));
            return ServiceStart::Failed;
        }
        if (status.state == SERVICE_RUNNING) {
            report(L"TarnwickSvc started.");
            return ServiceStart::Started;
        }
        if (status.state == SERVICE_STOPPED || status.state == SERVICE_STOP_PENDING) {
            report(StoppedDuringStartText(status.exitCode, DescribeServiceExitCode(status.exitCode)));
            return ServiceStart::StoppedDuringStart;
        }
        if (win32.GetTickCount() - started >= kStartWatchMs) {
            report(L"TarnwickSvc is still starting after " + std::to_wstring(kStartWatchMs / 1000) +
                   L" seconds; the install goes on without waiting for it.");
            return ServiceStart::StillStarting;
        }
        win32.Sleep(kStartPollMs);
    }
}

}  // namespace

ServiceStart StartServiceIfConfigured(const ReportLine& report)
{
    const CheckResult check = CheckConfiguration();
    for (const Finding& finding : check.findings) {
        if (finding.severity != Severity::Info) {
            report(FormatFindingLine(finding));
        }
    }
    if (!check.wouldStart) {
        report(NotStartedText(DescribeVerdict(check, DescribeServiceExitCode(check.exitCode))));
        return ServiceStart::NotConfigured;
    }
    KScHandle manager(win32.OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        report(WindowsError(L"opening the service manager", win32.GetLastError()));
        return ServiceStart::Failed;
    }
    KScHandle service(win32.OpenServiceW(manager.get(), kServiceName, SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service) {
        report(WindowsError(L"opening the service", win32.GetLastError()));
        return ServiceStart::Failed;
    }
    if (!win32.StartServiceW(service.get(), 0, nullptr)) {
        const DWORD error = win32.GetLastError();
        if (error == ERROR_SERVICE_ALREADY_RUNNING) {
            report(L"TarnwickSvc is running already.");
            return ServiceStart::AlreadyRunning;
        }
        report(WindowsError(L"StartService", error));
        return ServiceStart::Failed;
    }
    return WatchStart(service.get(), report);
}
