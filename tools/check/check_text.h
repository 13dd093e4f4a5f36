// The check's findings and verdict as the administrator reads them (one
// finding a line) and as JSON. Needs no Windows header.
#pragma once

#include "tools/check/check_rules.h"

#include <string>
#include <vector>

// "error: hotkey "X", value "run": ..." (control characters shown as \xNN,
// so that a finding is always one line).
std::wstring FormatFindingLine(const Finding& finding);

// The findings, in their order, one a line, each line ended by "\n".
std::wstring FormatFindingLines(const std::vector<Finding>& findings);

// "the service would start with 2 hotkeys: LWin+L, RWin+L", or "the service
// would refuse to start: exit code 1610 (<meaning>)".
std::wstring DescribeVerdict(const CheckResult& result, const std::wstring& meaning);

// The findings, one a line, then the verdict.
std::wstring RenderCheckText(const CheckResult& result, const std::wstring& meaning);

// {"wouldStart": ..., "exitCode": ..., "hotkeys": [...], "findings": [...]}.
std::wstring RenderCheckJson(const CheckResult& result);
