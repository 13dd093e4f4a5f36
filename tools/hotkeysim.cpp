#include "tools/hotkeysim.h"

#include "common/driver_config.h"
#include "common/handles.h"
#include "common/lock_policy.h"
#include "tools/hotkeysim_rules.h"

#include <vector>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::wstring ErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    KLocalString owned(text);
    std::wstring message = L"error " + std::to_wstring(error);
    if (length > 0 && text != nullptr) {
        std::wstring description(text, length);
        while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r' ||
                                         description.back() == L' ' || description.back() == L'.')) {
            description.pop_back();
        }
        message += L": " + description;
    }
    return message;
}

std::wstring MachinePath(const std::wstring& path)
{
    return L"HKEY_LOCAL_MACHINE\\" + path;
}

int WriteValues(const SimCommand& command, std::wstring& out, std::wstring& err)
{
    const std::wstring path = HotkeySubkeyPath(command.hotkey.c_str());
    KReg key;
    const LONG created = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_SET_VALUE, nullptr, &key.key, nullptr);
    if (created != ERROR_SUCCESS) {
        err += L"hotkeysim: cannot create " + MachinePath(path) + L" (" + ErrorText(created) + L")\n";
        return kExitFailed;
    }
    for (const SimValue& value : command.values) {
        const LONG written = RegSetValueExW(key.key, value.name.c_str(), 0, value.type, value.data.data(),
                                            static_cast<DWORD>(value.data.size()));
        if (written != ERROR_SUCCESS) {
            err += L"hotkeysim: cannot write \"" + value.name + L"\" of hotkey \"" + command.hotkey + L"\" (" +
                   ErrorText(written) + L")\n";
            return kExitFailed;
        }
    }
    out += L"hotkey \"" + command.hotkey + L"\": ";
    out += command.values.empty() ? L"exists" : std::to_wstring(command.values.size()) + L" value(s) written";
    out += L"\n";
    return 0;
}

// The values of one open hotkey subkey, one line each.
void ListValues(HKEY key, std::wstring& out)
{
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384] = {};
        DWORD nameChars = 16384;
        DWORD type = 0;
        DWORD size = 0;
        LONG result = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS) {
            break;
        }
        std::vector<BYTE> data(size);
        nameChars = 16384;
        result = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data.data(), &size);
        if (result != ERROR_SUCCESS) {
            out += L"  " + std::wstring(name) + L": (" + ErrorText(result) + L")\n";
            continue;
        }
        data.resize(size);
        out += L"  " + std::wstring(name) + L": " + FormatValue(type, std::vector<std::uint8_t>(data.begin(), data.end())) + L"\n";
    }
}

int List(std::wstring& out, std::wstring& err)
{
    KReg key;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHotkeyKeyPath, 0, KEY_READ, &key.key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        out += L"no hotkeys: " + MachinePath(kHotkeyKeyPath) + L" does not exist\n";
        return 0;
    }
    if (opened != ERROR_SUCCESS) {
        err += L"hotkeysim: cannot open " + MachinePath(kHotkeyKeyPath) + L" (" + ErrorText(opened) + L")\n";
        return kExitFailed;
    }
    DWORD count = 0;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD nameChars = 256;
        const LONG result = RegEnumKeyExW(key.key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS) {
            err += L"hotkeysim: cannot enumerate hotkey " + std::to_wstring(index) + L" (" + ErrorText(result) +
                   L")\n";
            return kExitFailed;
        }
        ++count;
        out += name;
        out += L"\n";
        KReg subkey;
        const LONG sub = RegOpenKeyExW(key.key, name, 0, KEY_READ, &subkey.key);
        if (sub != ERROR_SUCCESS) {
            out += L"  (" + ErrorText(sub) + L")\n";
            continue;
        }
        ListValues(subkey.key, out);
    }
    if (count == 0) {
        out += L"no hotkeys: " + MachinePath(kHotkeyKeyPath) + L" has no subkeys\n";
    }
    return 0;
}

int Remove(const SimCommand& command, std::wstring& out, std::wstring& err)
{
    const std::wstring path = HotkeySubkeyPath(command.hotkey.c_str());
    if (command.valueName.empty()) {
        LONG result = RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
        KReg left;
        if (result == ERROR_SUCCESS &&
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &left.key) == ERROR_SUCCESS) {
            // Some systems empty the key but leave the key itself.
            left.Close();
            result = RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
        }
        if (result != ERROR_SUCCESS) {
            err += L"hotkeysim: cannot remove hotkey \"" + command.hotkey + L"\" (" + ErrorText(result) + L")\n";
            return kExitFailed;
        }
        out += L"hotkey \"" + command.hotkey + L"\" removed\n";
        return 0;
    }
    KReg key;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key.key);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueW(key.key, command.valueName.c_str());
    }
    if (result != ERROR_SUCCESS) {
        err += L"hotkeysim: cannot remove \"" + command.valueName + L"\" of hotkey \"" + command.hotkey + L"\" (" +
               ErrorText(result) + L")\n";
        return kExitFailed;
    }
    out += L"\"" + command.valueName + L"\" of hotkey \"" + command.hotkey + L"\" removed\n";
    return 0;
}

int Press(const SimCommand& command, std::wstring& out, std::wstring& err)
{
    const std::wstring eventName = HotkeyEventName(command.hotkey.c_str());
    KHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str()));
    if (!event) {
        const DWORD error = GetLastError();
        err += L"hotkeysim: there is no event \"" + eventName + L"\" (" + ErrorText(error) +
               L"): the service is not running, or it did not load the hotkey \"" + command.hotkey + L"\"\n";
        return kExitFailed;
    }
    if (!SetEvent(event.get())) {
        err += L"hotkeysim: cannot set the event \"" + eventName + L"\" (" + ErrorText(GetLastError()) + L")\n";
        return kExitFailed;
    }
    out += L"pressed \"" + command.hotkey + L"\": event \"" + eventName + L"\" set\n";
    return 0;
}

int Status(std::wstring& out, std::wstring& err)
{
    int exitCode = 0;
    std::wstring user;
    if (!GetConsoleUserName(user)) {
        out += L"console user: none\n";
    } else {
        wchar_t sid[kSidStringChars] = {};
        if (!GetAccountSidString(user.c_str(), sid)) {
            out += L"console user: " + user + L"\n";
            err += L"hotkeysim: cannot look up the SID of \"" + user + L"\" (" + ErrorText(GetLastError()) + L")\n";
            exitCode = kExitFailed;
        } else {
            out += L"console user: " + user + L" (" + sid + L")\n";
            wchar_t pathBuffer[kLockPolicyPathChars] = {};
            FormatLockPolicyKeyPath(sid, pathBuffer);
            const std::wstring path = pathBuffer;
            KReg key;
            DWORD type = 0;
            std::vector<BYTE> data(64);
            DWORD size = static_cast<DWORD>(data.size());
            LONG result = RegOpenKeyExW(HKEY_USERS, path.c_str(), 0, KEY_READ, &key.key);
            if (result == ERROR_SUCCESS) {
                result = RegQueryValueExW(key.key, kDisableLockWorkstation, nullptr, &type, data.data(), &size);
            }
            if (result == ERROR_SUCCESS) {
                data.resize(size);
                out += std::wstring(kDisableLockWorkstation) + L": " +
                       FormatValue(type, std::vector<std::uint8_t>(data.begin(), data.end())) + L"\n";
            } else if (result == ERROR_FILE_NOT_FOUND) {
                out += std::wstring(kDisableLockWorkstation) + L": absent\n";
            } else {
                err += L"hotkeysim: cannot read " + std::wstring(kDisableLockWorkstation) + L" under HKEY_USERS\\" +
                       path + L" (" + ErrorText(result) + L")\n";
                exitCode = kExitFailed;
            }
        }
    }
    KHandle marker(OpenEventW(SYNCHRONIZE, FALSE, kLogonMarkerName));
    out += std::wstring(kLogonMarkerName) + (marker ? L": exists\n" : L": absent\n");
    return exitCode;
}

}  // namespace

int RunHotkeySim(const std::vector<std::wstring>& args, std::wstring& out, std::wstring& err)
{
    const SimParse parse = ParseHotkeySimArgs(args);
    if (!parse.error.empty()) {
        err += L"hotkeysim: " + parse.error + L"\n\n" + HotkeySimUsage();
        return kExitUsage;
    }
    const SimCommand& command = parse.command;
    switch (command.action) {
    case SimAction::Help:
        out += HotkeySimUsage();
        return 0;
    case SimAction::Set:
    case SimAction::SetValue:
        return WriteValues(command, out, err);
    case SimAction::List:
        return List(out, err);
    case SimAction::Remove:
        return Remove(command, out, err);
    case SimAction::Press:
        return Press(command, out, err);
    case SimAction::Status:
        return Status(out, err);
    }
    return kExitUsage;
}
