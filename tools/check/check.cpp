#include "tools/check/check.h"

#include "common/driver_config.h"
#include "agent/client_policy.h"
#include "common/handles.h"
#include "common/registry_reading.h"
#include "service/hotkey_config.h"
#include "tools/check/command_line_program.h"
#include "tools/check/program_protection.h"
#include "tools/check/software_sas_reading.h"
#include "tools/service_query.h"

#include <optional>
#include <vector>

namespace {

StoredValue ReadStored(HKEY key, const wchar_t* name)
{
    StoredValue stored;
    DWORD type = 0;
    if (ReadRegistryValue(key, name, type, stored.data) == ERROR_SUCCESS) {
        stored.present = true;
        stored.type = type;
    }
    return stored;
}

// Where the service finds a program given without a full path: its own
// folder (also its working directory), the system folders, then the path.
struct ProgramSearch {
    std::wstring serviceFolder;
    std::wstring pathList;
};

ProgramSearch MakeProgramSearch(const ServiceFacts& service)
{
    ProgramSearch search;
    search.serviceFolder = service.configRead ? FindImageFolder(service.imagePath) : std::wstring();
    if (search.serviceFolder.empty()) {
        search.serviceFolder = FindOwnFolder();
    }
    wchar_t system[MAX_PATH] = {};
    wchar_t windows[MAX_PATH] = {};
    win32.GetSystemDirectoryW(system, MAX_PATH);
    win32.GetWindowsDirectoryW(windows, MAX_PATH);
    search.pathList = search.serviceFolder + L";" + system + L";" + windows;
    const DWORD pathChars = win32.GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (pathChars > 0) {
        std::vector<wchar_t> path(pathChars, L'\0');
        win32.GetEnvironmentVariableW(L"PATH", path.data(), pathChars);
        search.pathList += L";" + std::wstring(path.data());
    }
    return search;
}

// The full path of the file that a program candidate names, as the service
// would find it; nothing when there is none.
std::optional<std::wstring> FindProgram(const std::wstring& candidate, const ProgramSearch& search)
{
    std::vector<wchar_t> found(32768, L'\0');
    const DWORD length = win32.SearchPathW(search.pathList.c_str(), candidate.c_str(), L".exe",
                                           static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0 || length >= found.size()) {
        return std::nullopt;
    }
    return std::wstring(found.data(), length);
}

HotkeyFacts ReadHotkey(const std::wstring& name, const ProgramSearch& search)
{
    HotkeyFacts facts;
    facts.name = name;
    facts.searchedFolder = search.serviceFolder;

    // The service's own reading; the entry's event is not touched.
    std::vector<HotkeyEntry> entry(1);
    DWORD error = ERROR_SUCCESS;
    facts.configRead = ReadHotkeyConfig(name, entry[0], error);
    facts.configError = facts.configRead ? 0 : error;
    if (facts.configRead) {
        facts.command = std::wstring(entry[0].command);
        facts.block = entry[0].block;
    }

    KReg subkey;
    const LONG opened =
        win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, HotkeySubkeyPath(name.c_str()).c_str(), 0, KEY_READ, &subkey.key);
    facts.subkeyOpened = opened == ERROR_SUCCESS;
    facts.subkeyError = facts.subkeyOpened ? 0 : static_cast<DWORD>(opened);
    if (facts.subkeyOpened) {
        facts.run = ReadStored(subkey.key, L"run");
        facts.blockValue = ReadStored(subkey.key, L"Block");
        facts.blockLocal = ReadStored(subkey.key, L"BlockLocal");
        if (!facts.configRead && (name.size() >= kHotkeyNameChars || HotkeyEventIsTheLogonMarker(name))) {
            // The service stops at the name; "run" as it would read it next.
            std::wstring command;
            DWORD runError = ERROR_SUCCESS;
            if (!ReadRunCommand(subkey.key, command, runError)) {
                facts.runFault = runError;
            } else if (command.size() >= kHotkeyCommandChars) {
                facts.runFault = ERROR_BAD_CONFIGURATION;
            } else {
                facts.command = command;
            }
        }
    }
    if (facts.command && !facts.command->empty()) {
        const CommandProgram program = ListProgramCandidates(*facts.command);
        std::vector<std::optional<std::wstring>> found;
        for (const std::wstring& candidate : program.candidates) {
            found.push_back(FindProgram(candidate, search));
            facts.programFound.push_back(found.back().has_value());
        }
        // Who may change the program that the service would start.
        const std::optional<std::wstring>& intended = found[PickIntendedCandidate(program, facts.programFound)];
        if (intended) {
            facts.protection = ReadProgramProtection(*intended);
        }
    }
    return facts;
}

}  // namespace

namespace {

// Every value of the key of the clients added by policy, as stored; none
// when the key does not exist or cannot be read.
std::vector<ClientPolicyValue> ReadClientPolicyValues()
{
    std::vector<ClientPolicyValue> values;
    KReg key;
    if (win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientPolicyKeyPath, 0, KEY_QUERY_VALUE, &key.key) !=
        ERROR_SUCCESS) {
        return values;
    }
    std::vector<std::wstring> names;
    ReadValueNames(key.key, names);
    for (const std::wstring& name : names) {
        ClientPolicyValue value;
        value.name = name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        if (ReadRegistryValue(key.key, name.c_str(), type, data) == ERROR_SUCCESS) {
            value.stored.present = true;
            value.stored.type = type;
            value.stored.data.assign(data.begin(), data.end());
        }
        values.push_back(value);
    }
    return values;
}

}  // namespace

CheckResult CheckConfiguration()
{
    KeyFacts key;
    DWORD namesError = ERROR_SUCCESS;
    key.namesRead = ReadHotkeyNames(key.names, namesError);
    key.namesError = key.namesRead ? 0 : namesError;

    KReg hotkeyKey;
    const LONG opened = win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHotkeyKeyPath, 0, KEY_READ, &hotkeyKey.key);
    key.keyOpened = opened == ERROR_SUCCESS;
    key.keyError = key.keyOpened ? 0 : static_cast<DWORD>(opened);
    if (key.keyOpened) {
        DWORD subkeys = 0;
        win32.RegQueryInfoKeyW(hotkeyKey.key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
        key.subkeyCount = subkeys;
    }
    hotkeyKey.Close();

    const ServiceFacts service = QueryTarnwickService();
    const ProgramSearch search = MakeProgramSearch(service);
    std::vector<HotkeyFacts> hotkeys;
    for (const std::wstring& name : key.names) {
        hotkeys.push_back(ReadHotkey(name, search));
    }
    const CheckLimits limits{kHotkeyNameChars - 1, kHotkeyCommandChars - 1, kMaxHotkeys};
    CheckResult result = EvaluateCheck(key, hotkeys, limits);
    // Who may change the registered service's program and its folders.
    const std::wstring serviceProgram = service.configRead ? FindRegisteredProgram(service.imagePath) : std::wstring();
    if (!serviceProgram.empty()) {
        if (const std::optional<Finding> finding = CheckServiceProgram(ReadProgramProtection(serviceProgram))) {
            result.findings.push_back(*finding);
        }
    }
    // The clients that administrators added by policy.
    const std::vector<Finding> clients = CheckClientPolicy(ReadClientPolicyValues());
    result.findings.insert(result.findings.end(), clients.begin(), clients.end());
    // Whether a local Ctrl+Alt+Del can bring up the secure screen.
    const SoftwareSasReading softwareSas = ReadSoftwareSasPolicy();
    if (const std::optional<Finding> finding = CheckSoftwareSasPolicy(softwareSas.stored, softwareSas.error)) {
        result.findings.push_back(*finding);
    }
    return result;
}
