// Who may change a program that runs as LocalSystem, its folder and the
// folders above it (common/folder_security.h), with the account names of
// those who may, for TarnwickCtl check and status.
#pragma once

#include "tools/check/check_rules.h"

#include <string>

ProgramProtection ReadProgramProtection(const std::wstring& program);
