// TarnwickCtl's command line: the verbs, their arguments and the usage text.
// Needs no Windows header.
#pragma once

#include "tools/registry_values.h"

#include <string>
#include <vector>

// Exit codes: 0 success, 1 the operation failed, 2 wrong arguments.
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

enum class CtlAction { Help, Set, SetValue, List, Remove, Press, Status, LockPolicy };

struct CtlCommand {
    CtlAction action = CtlAction::Help;
    std::wstring hotkey;             // set, set-value, remove, press
    std::vector<NamedValue> values;  // set, set-value: in the order given
    std::wstring valueName;          // remove NAME VALUE: the value to remove
    bool setPolicy = false;          // lock-policy 0|1: write instead of show
    std::uint32_t policyValue = 0;   // lock-policy: the value to write
};

// The parsed command, or `error` (non-empty) when the arguments are wrong.
struct CtlParse {
    CtlCommand command;
    std::wstring error;
};

// Parses the arguments that follow the program name. Verbs and options are
// compared without regard to ASCII case.
CtlParse ParseCtlArgs(const std::vector<std::wstring>& args);

std::wstring CtlUsage();
