// Starting TarnwickSvc at the end of an install, only when the driver's
// hotkey configuration lets it start. Whatever happens, the install goes on:
// the outcome is reported in lines for the installer log.
#pragma once

#include "common/win32_api.h"

#include <functional>
#include <string>

enum class ServiceStart {
    Started,             // RUNNING
    AlreadyRunning,      // it was running before
    NotConfigured,       // the configuration would stop it: not started
    StoppedDuringStart,  // started, and stopped again
    StillStarting,       // START_PENDING when the watch ended
    Failed,              // the service manager refused (open or start)
};

using ReportLine = std::function<void(const std::wstring&)>;

// How long the start is watched, and how often its state is read.
constexpr DWORD kStartWatchMs = 30000;
constexpr DWORD kStartPollMs = 250;

// Checks the configuration as "TarnwickCtl check" does, and reports its
// errors and warnings; when the service would start, starts it and watches
// the start for up to kStartWatchMs. The last line reported is the outcome.
ServiceStart StartServiceIfConfigured(const ReportLine& report);
