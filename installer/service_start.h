// Starting TarnwickSvc at the end of an install, only when the driver's
// hotkey configuration lets it start. Whatever happens, the install goes on:
// the outcome is reported as one line for the installer log.
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

// Reads the driver's hotkey configuration as the service reads it at its
// start. True when it can be used; otherwise `exitCode` is the code the
// service would stop with and `hotkey` the hotkey at fault (empty when the
// fault lies in the hotkey key itself).
bool CheckHotkeyConfiguration(DWORD& exitCode, std::wstring& hotkey);

// Checks the configuration; when it can be used, starts the service and
// watches the start for up to kStartWatchMs. Reports one line.
ServiceStart StartServiceIfConfigured(const ReportLine& report);
