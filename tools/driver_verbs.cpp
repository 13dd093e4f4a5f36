#include "tools/driver_verbs.h"

#include "common/driver_config.h"
#include "common/handles.h"
#include "common/registry_reading.h"
#include "tools/ctl_messages.h"
#include "tools/printable_text.h"
#include "tools/service_event_access.h"

#include <vector>

namespace {

constexpr const wchar_t* kListAdvice = L"`TarnwickCtl list` shows the configured hotkeys";

// The values of one open hotkey subkey, one line each.
void ListValues(HKEY key, KCtlOutput& output)
{
    std::vector<std::wstring> names;
    ReadValueNames(key, names);
    for (const std::wstring& name : names) {
        DWORD type = 0;
        std::vector<BYTE> data;
        const LONG result = ReadRegistryValue(key, name.c_str(), type, data);
        if (result != ERROR_SUCCESS) {
            output.Out(L"  " + MakePrintableLine(name) + L": (" + ExplainError(static_cast<DWORD>(result)) + L")\n");
            continue;
        }
        output.Out(L"  " + MakePrintableLine(name) + L": " + MakePrintableLine(FormatValue(type, data)) + L"\n");
    }
}

}  // namespace

int SetHotkeyValues(const CtlCommand& command, KCtlOutput& output)
{
    const std::wstring path = HotkeySubkeyPath(command.hotkey.c_str());
    KReg key;
    const LONG created = win32.RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_SET_VALUE, nullptr, &key.key, nullptr);
    if (created != ERROR_SUCCESS) {
        output.Err(FormatFailure(L"cannot create " + QualifyMachinePath(path), static_cast<DWORD>(created)));
        return kExitFailed;
    }
    for (const NamedValue& value : command.values) {
        const LONG written = win32.RegSetValueExW(key.key, value.name.c_str(), 0, value.type, value.data.data(),
                                            static_cast<DWORD>(value.data.size()));
        if (written != ERROR_SUCCESS) {
            output.Err(FormatFailure(L"cannot write \"" + value.name + L"\" of hotkey \"" + command.hotkey + L"\"",
                                      static_cast<DWORD>(written)));
            return kExitFailed;
        }
    }
    output.Out(L"hotkey \"" + command.hotkey + L"\": " +
               (command.values.empty() ? std::wstring(L"exists")
                                       : std::to_wstring(command.values.size()) + L" value(s) written") +
               L"\n");
    return 0;
}

int ListHotkeys(KCtlOutput& output)
{
    KReg key;
    const LONG opened = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHotkeyKeyPath, 0, KEY_READ, &key.key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        output.Out(L"no hotkeys: " + QualifyMachinePath(kHotkeyKeyPath) + L" does not exist\n");
        return 0;
    }
    if (opened != ERROR_SUCCESS) {
        output.Err(FormatFailure(L"cannot open " + QualifyMachinePath(kHotkeyKeyPath), static_cast<DWORD>(opened)));
        return kExitFailed;
    }
    std::vector<std::wstring> names;
    const LONG enumerated = ReadSubkeyNames(key.key, names);
    const size_t count = names.size();
    for (const std::wstring& name : names) {
        output.Out(MakePrintableLine(name) + L"\n");
        KReg subkey;
        const LONG sub = win32.RegOpenKeyExW(key.key, name.c_str(), 0, KEY_READ, &subkey.key);
        if (sub != ERROR_SUCCESS) {
            output.Out(L"  (" + ExplainError(static_cast<DWORD>(sub)) + L")\n");
            continue;
        }
        ListValues(subkey.key, output);
    }
    if (enumerated != ERROR_SUCCESS) {
        output.Err(FormatFailure(L"cannot enumerate hotkey " + std::to_wstring(count),
                                 static_cast<DWORD>(enumerated)));
        return kExitFailed;
    }
    if (count == 0) {
        output.Out(L"no hotkeys: " + QualifyMachinePath(kHotkeyKeyPath) + L" has no subkeys\n");
    }
    return 0;
}

int RemoveHotkey(const CtlCommand& command, KCtlOutput& output)
{
    const std::wstring path = HotkeySubkeyPath(command.hotkey.c_str());
    if (command.valueName.empty()) {
        LONG result = win32.RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
        KReg left;
        if (result == ERROR_SUCCESS &&
            win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &left.key) == ERROR_SUCCESS) {
            // Some systems empty the key but leave the key itself.
            left.Close();
            result = win32.RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
        }
        if (result != ERROR_SUCCESS) {
            output.Err(FormatFailure(L"cannot remove hotkey \"" + command.hotkey + L"\"", static_cast<DWORD>(result),
                                      kListAdvice));
            return kExitFailed;
        }
        output.Out(L"hotkey \"" + command.hotkey + L"\" removed\n");
        return 0;
    }
    KReg key;
    LONG result = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key.key);
    if (result == ERROR_SUCCESS) {
        result = win32.RegDeleteValueW(key.key, command.valueName.c_str());
    }
    if (result != ERROR_SUCCESS) {
        output.Err(FormatFailure(L"cannot remove \"" + command.valueName + L"\" of hotkey \"" + command.hotkey + L"\"",
                                  static_cast<DWORD>(result), kListAdvice));
        return kExitFailed;
    }
    output.Out(L"\"" + command.valueName + L"\" of hotkey \"" + command.hotkey + L"\" removed\n");
    return 0;
}

int PressHotkey(const CtlCommand& command, KCtlOutput& output)
{
    const std::wstring eventName = HotkeyEventName(command.hotkey.c_str());
    DWORD error = ERROR_SUCCESS;
    const KHandle event = OpenServiceEvent(eventName, EVENT_MODIFY_STATE, error);
    if (!event) {
        if (error == ERROR_FILE_NOT_FOUND) {
            output.Err(L"TarnwickCtl: there is no event \"" + eventName + L"\" (" + ExplainError(error) +
                       L"): the service is not running, or it did not load the hotkey \"" + command.hotkey +
                       L"\": start it with `sc start TarnwickSvc`, and see `TarnwickCtl check` for why it would "
                       L"not start\n");
        } else {
            output.Err(FormatFailure(L"cannot open the event \"" + eventName + L"\"", error));
        }
        return kExitFailed;
    }
    if (!win32.SetEvent(event.get())) {
        output.Err(FormatFailure(L"cannot set the event \"" + eventName + L"\"", win32.GetLastError()));
        return kExitFailed;
    }
    output.Out(L"pressed \"" + command.hotkey + L"\": event \"" + eventName + L"\" set\n");
    return 0;
}
