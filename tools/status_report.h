// TarnwickCtl status as text and as JSON, from what was found out. Needs no
// Windows header.
#pragma once

#include "tools/check/check_rules.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct StatusReport {
    // The service TarnwickSvc, as the service manager knows it.
    bool managerOpened = false;
    std::uint32_t managerError = 0;
    bool installed = false;
    std::optional<std::uint32_t> state;     // SERVICE_STOPPED (1) ... SERVICE_PAUSED (7)
    std::optional<std::uint32_t> exitCode;  // its last Win32 exit code
    std::wstring exitCodeMeaning;           // what that code means
    std::optional<std::wstring> imagePath;  // the registered program
    // Who may change that program, its folder and the folders above it.
    std::optional<ProgramProtection> serviceProgram;

    // The console user and that user's "DisableLockWorkstation".
    std::optional<std::wstring> consoleUser;
    std::optional<std::wstring> sid;  // when it could be looked up
    bool policyRead = false;          // the value was read, or found absent
    bool policyPresent = false;
    std::uint32_t policyType = 0;
    std::vector<std::uint8_t> policyData;

    bool logonMarker = false;  // the event "ZQKBFiltrWinLogon" exists

    // The machine policy "SoftwareSASGeneration": as stored (absent when not
    // present), or the registry error that kept it from being read.
    StoredValue softwareSas;
    std::uint32_t softwareSasError = 0;

    struct File {
        std::wstring name;
        bool found = false;
        std::optional<std::wstring> version;  // "1.0.0.0"
    };
    std::vector<File> files;
};

// "stopped", "start-pending", "stop-pending", "running", "continue-pending",
// "pause-pending", "paused"; empty for any other number.
std::wstring NameServiceState(std::uint32_t state);

// Whether a registered program path is enclosed in quotation marks.
bool IsImagePathQuoted(const std::wstring& imagePath);

// The number, when the value is a REG_DWORD of four bytes.
std::optional<std::uint32_t> TakePolicyNumber(const StatusReport& report);

// "service program: only SYSTEM, ... may change it, ..." or "service
// program: others may change it: <which, by whom>; <what to do>", or
// "service program: cannot be checked: ..."; empty without a registered
// program.
std::wstring FormatServiceProgramLine(const StatusReport& report);

// Readable lines; the console user's lines are "console user: NAME (SID)"
// or "console user: none", "DisableLockWorkstation: <value>" or "...: absent",
// "ZQKBFiltrWinLogon: exists" or "...: absent", and
// "SoftwareSASGeneration: <value> (...)" or "...: absent (...)", which says
// whether services may bring up the secure screen.
std::wstring RenderStatusText(const StatusReport& report);

// {"service": {...}, "serviceProgram": ..., "consoleUser": ...,
//  "disableLockWorkstation": ..., "logonMarker": ..., "softwareSasGeneration":
//  ..., "files": {...}}; the policies as numbers when they are REG_DWORDs,
// else null. "serviceProgram" is null without a registered program, else
// {"path", "protected", "changeableBy": [{"path", "sid", "name", "rights"}],
// "unreadable": [{"path", "error"}]}.
std::wstring RenderStatusJson(const StatusReport& report);
