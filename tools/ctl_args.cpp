#include "tools/ctl_args.h"

#include "common/names.h"

namespace {

bool ValidHotkeyName(const std::wstring& name, std::wstring& error)
{
    if (name.empty()) {
        error = L"the hotkey name is empty";
        return false;
    }
    if (name.find(L'\\') != std::wstring::npos) {
        error = L"the hotkey name \"" + name + L"\" contains a backslash";
        return false;
    }
    return true;
}

CtlParse Failure(const std::wstring& error)
{
    CtlParse parse;
    parse.error = error;
    return parse;
}

}  // namespace

std::wstring DescribeCtlUsage()
{
    return L"TarnwickCtl: shows and tries what Tarnwick does on this PC, and stands in for the\n"
           L"keyboard filter driver zqkbfiltr. Hotkeys live under\n"
           L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey, one subkey per hotkey.\n"
           L"\n"
           L"usage:\n"
           L"  TarnwickCtl set NAME [--run COMMAND] [--block N] [--blocklocal N]\n"
           L"      create the hotkey NAME (if needed) and write \"run\" (REG_SZ),\n"
           L"      \"Block\" and \"BlockLocal\" (REG_DWORD) as given\n"
           L"  TarnwickCtl set-value NAME VALUE TYPE DATA\n"
           L"      write any value of the hotkey NAME; TYPE is REG_SZ, REG_EXPAND_SZ,\n"
           L"      REG_DWORD, REG_QWORD or REG_BINARY; DATA is text, a number (decimal\n"
           L"      or 0x...) or hex bytes (\"0100\" is the two bytes 01 00; \"\" is none)\n"
           L"  TarnwickCtl list\n"
           L"      show every hotkey and its values\n"
           L"  TarnwickCtl remove NAME [VALUE]\n"
           L"      remove the hotkey NAME, or only its value VALUE\n"
           L"  TarnwickCtl press NAME\n"
           L"      press the hotkey as the driver does: set the event \"ZQKBFiltr\" + NAME\n"
           L"  TarnwickCtl check [--json]\n"
           L"      read the hotkey configuration as the service's next start will: every\n"
           L"      problem, one a line, then whether the service would start (exit code 0)\n"
           L"      or refuse to start (exit code 1, with the exit code the service would report)\n"
           L"  TarnwickCtl status [--json]\n"
           L"      show whether the service TarnwickSvc is installed, its state, its last\n"
           L"      exit code and its registered program; the console user, that user's\n"
           L"      \"DisableLockWorkstation\" and whether the event \"ZQKBFiltrWinLogon\"\n"
           L"      exists; the versions of the programs beside TarnwickCtl\n"
           L"  TarnwickCtl watch [--seconds N]\n"
           L"      one line each time the foreground window changes: the program in front,\n"
           L"      the remote-desktop client found, and what a press of Win+L and of\n"
           L"      Ctrl+Alt+Del would do now; ends after N seconds, or at Ctrl+C\n"
           L"  TarnwickCtl windows [--wait N] [--json]\n"
           L"      after N seconds (default 5: time to bring the client to the front), the\n"
           L"      program in front, the tree of windows under its foreground window (depth,\n"
           L"      class name, text) and which of them each built-in client's rule would take\n"
           L"      as key window and command window: what to write in a client entry of the\n"
           L"      policy HKLM\\SOFTWARE\\Policies\\Tarnwick\\Clients; posts, synthesises and\n"
           L"      writes nothing\n"
           L"  TarnwickCtl lock-policy [0|1]\n"
           L"      show, or set, the console user's \"DisableLockWorkstation\": 0 lets the\n"
           L"      user lock the workstation again (for example after the service was\n"
           L"      ended by hand while the user was logged on)\n"
           L"  TarnwickCtl lock-policy 0 --all-users\n"
           L"      set \"DisableLockWorkstation\" from 1 to 0 for every user profile of this\n"
           L"      PC, as removal does: in the hive of a logged-on user, or in the profile's\n"
           L"      NTUSER.DAT, loaded for the moment of the write; a value that is absent or\n"
           L"      other than 1 stays; one line per profile; exit code 1 when a profile was\n"
           L"      skipped (its hive could not be loaded or written)\n"
           L"  TarnwickCtl help\n"
           L"\n"
           L"Exit code 0 on success, 1 when the operation failed, 2 for wrong arguments.\n";
}

CtlParse ParseCtlArgs(const std::vector<std::wstring>& args)
{
    CtlParse parse;
    if (args.empty()) {
        return Failure(L"no command given");
    }
    const std::wstring& verb = args[0];
    const size_t operands = args.size() - 1;
    CtlCommand& command = parse.command;

    if (NamesEqual(verb, L"help") || NamesEqual(verb, L"--help") || NamesEqual(verb, L"-h") ||
        NamesEqual(verb, L"/?")) {
        command.action = CtlAction::Help;
        return parse;
    }
    if (NamesEqual(verb, L"list")) {
        if (operands != 0) {
            return Failure(L"list takes no arguments");
        }
        command.action = CtlAction::List;
        return parse;
    }
    if (NamesEqual(verb, L"check") || NamesEqual(verb, L"status")) {
        command.action = NamesEqual(verb, L"check") ? CtlAction::Check : CtlAction::Status;
        if (operands == 1 && NamesEqual(args[1], L"--json")) {
            command.json = true;
        } else if (operands != 0) {
            return Failure(verb + L" takes nothing or --json");
        }
        return parse;
    }
    if (NamesEqual(verb, L"lock-policy")) {
        command.action = CtlAction::LockPolicy;
        if (operands == 0) {
            return parse;
        }
        const bool allUsers = operands == 2 && args[1] == L"0" && NamesEqual(args[2], L"--all-users");
        if (!allUsers && (operands != 1 || (args[1] != L"0" && args[1] != L"1"))) {
            return Failure(L"lock-policy takes nothing, 0 or 1, or 0 --all-users");
        }
        command.setPolicy = true;
        command.policyValue = args[1] == L"1" ? 1 : 0;
        command.allUsers = allUsers;
        return parse;
    }
    if (NamesEqual(verb, L"watch")) {
        command.action = CtlAction::Watch;
        if (operands == 0) {
            return parse;
        }
        std::uint64_t seconds = 0;
        if (operands != 2 || !NamesEqual(args[1], L"--seconds") ||
            !ParseUnsigned(args[2], kMaxWatchSeconds, seconds)) {
            return Failure(L"watch takes nothing or --seconds N (N from 0 to " + std::to_wstring(kMaxWatchSeconds) +
                           L")");
        }
        command.watchLimited = true;
        command.watchSeconds = static_cast<std::uint32_t>(seconds);
        return parse;
    }
    if (NamesEqual(verb, L"windows")) {
        command.action = CtlAction::Windows;
        for (size_t i = 1; i < args.size(); ++i) {
            std::uint64_t seconds = 0;
            if (NamesEqual(args[i], L"--json") && !command.json) {
                command.json = true;
            } else if (NamesEqual(args[i], L"--wait") && i + 1 < args.size() &&
                       ParseUnsigned(args[i + 1], kMaxWatchSeconds, seconds)) {
                command.waitSeconds = static_cast<std::uint32_t>(seconds);
                ++i;
            } else {
                return Failure(L"windows takes --wait N (N from 0 to " + std::to_wstring(kMaxWatchSeconds) +
                               L") and --json");
            }
        }
        return parse;
    }
    if (NamesEqual(verb, L"press")) {
        if (operands != 1) {
            return Failure(L"press takes one hotkey name");
        }
        command.action = CtlAction::Press;
    } else if (NamesEqual(verb, L"remove")) {
        if (operands != 1 && operands != 2) {
            return Failure(L"remove takes a hotkey name and optionally a value name");
        }
        command.action = CtlAction::Remove;
        if (operands == 2) {
            command.valueName = args[2];
        }
    } else if (NamesEqual(verb, L"set-value")) {
        if (operands != 4) {
            return Failure(L"set-value takes NAME VALUE TYPE DATA");
        }
        command.action = CtlAction::SetValue;
        NamedValue value;
        value.name = args[2];
        if (!ParseValueType(args[3], value.type)) {
            return Failure(L"unknown value type \"" + args[3] +
                           L"\" (REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD or REG_BINARY)");
        }
        std::wstring error;
        if (!EncodeValueData(value.type, args[4], value.data, error)) {
            return Failure(error);
        }
        command.values.push_back(value);
    } else if (NamesEqual(verb, L"set")) {
        if (operands < 1) {
            return Failure(L"set takes a hotkey name");
        }
        command.action = CtlAction::Set;
        for (size_t i = 2; i < args.size(); i += 2) {
            const std::wstring& option = args[i];
            NamedValue value;
            if (NamesEqual(option, L"--run")) {
                value.name = L"run";
                value.type = kTypeSz;
            } else if (NamesEqual(option, L"--block")) {
                value.name = L"Block";
                value.type = kTypeDword;
            } else if (NamesEqual(option, L"--blocklocal")) {
                value.name = L"BlockLocal";
                value.type = kTypeDword;
            } else {
                return Failure(L"unknown option \"" + option + L"\" (--run, --block or --blocklocal)");
            }
            if (i + 1 >= args.size()) {
                return Failure(option + L" needs a value");
            }
            std::wstring error;
            if (!EncodeValueData(value.type, args[i + 1], value.data, error)) {
                return Failure(option + L": " + error);
            }
            command.values.push_back(value);
        }
    } else {
        return Failure(L"unknown command \"" + verb + L"\"");
    }

    command.hotkey = args[1];
    std::wstring error;
    if (!ValidHotkeyName(command.hotkey, error)) {
        return Failure(error);
    }
    return parse;
}
