// TarnwickCtl's command line: the verbs, their arguments and the usage text.
// Needs no Windows header.
#pragma once

#include "tools/registry_values.h"

#include <string>
#include <vector>

// Exit codes: 0 success, 1 the operation failed, 2 wrong arguments.
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

enum class CtlAction { Help, Set, SetValue, List, Remove, Press, Check, Status, LockPolicy, Watch, Windows };

// windows: the time to bring the client to the front before its windows are
// read, unless --wait gives another.
constexpr std::uint32_t kDefaultWindowsWaitSeconds = 5;

struct CtlCommand {
    CtlAction action = CtlAction::Help;
    std::wstring hotkey;             // set, set-value, remove, press
    std::vector<NamedValue> values;  // set, set-value: in the order given
    std::wstring valueName;          // remove NAME VALUE: the value to remove
    bool json = false;               // check, status, windows: one JSON object
    bool setPolicy = false;          // lock-policy 0|1: write instead of show
    std::uint32_t policyValue = 0;   // lock-policy: the value to write
    bool allUsers = false;           // lock-policy 0 --all-users: every user profile
    bool watchLimited = false;       // watch --seconds N: ends after N seconds
    std::uint32_t watchSeconds = 0;
    std::uint32_t waitSeconds = kDefaultWindowsWaitSeconds;  // windows --wait N
};

// The longest watch: its milliseconds fit 32 bits.
constexpr std::uint32_t kMaxWatchSeconds = 4294967;

// The parsed command, or `error` (non-empty) when the arguments are wrong.
struct CtlParse {
    CtlCommand command;
    std::wstring error;
};

// Parses the arguments that follow the program name. Verbs and options are
// compared without regard to ASCII case.
CtlParse ParseCtlArgs(const std::vector<std::wstring>& args);

std::wstring DescribeCtlUsage();
