// TarnwickSmoke's client mode: the stand-in for Microsoft Remote Desktop,
// run as a copy of TarnwickSmoke named mstsc.exe. A top-level window with
// one child whose text is "Input Capture Window" and which holds the
// keyboard focus; every WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN and WM_SYSKEYUP
// that either window receives is written to the record file
// (tools/smoke/smoke_rules.h: FormatReadyLine, FormatRecordLine).
#pragma once

#include "common/win32_api.h"

#include <string>

// Creates the record file and the windows, writes the ready line, takes the
// foreground, and records keys until the window is closed, the process
// `parentId` has ended or ten minutes have passed. 0 then; 3 when the record
// file or a window cannot be made.
int RunSmokeClient(const std::wstring& recordPath, DWORD parentId);
