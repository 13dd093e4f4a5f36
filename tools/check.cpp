#include "tools/check.h"

#include "common/driver_config.h"
#include "common/handles.h"
#include "service/hotkey_config.h"
#include "tools/ctl_messages.h"
#include "tools/service_query.h"
#include "tools/software_sas_reading.h"

#include <vector>

namespace {

StoredValue ReadStored(HKEY key, const wchar_t* name)
{
    StoredValue stored;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return stored;
    }
    stored.data.resize(size);
    if (RegQueryValueExW(key, name, nullptr, &type, stored.data.data(), &size) != ERROR_SUCCESS) {
        stored.data.clear();
        return stored;
    }
    stored.data.resize(size);
    stored.present = true;
    stored.type = type;
    return stored;
}

// Where the service finds a program given without a full path: its own
// folder (also its working directory), the system folders, then the path.
struct ProgramSearch {
    std::wstring serviceFolder;
    std::wstring pathList;
};

ProgramSearch MakeProgramSearch()
{
    ProgramSearch search;
    const ServiceFacts service = QueryTarnwickService();
    search.serviceFolder = service.configRead ? ImageFolder(service.imagePath) : std::wstring();
    if (search.serviceFolder.empty()) {
        search.serviceFolder = OwnFolder();
    }
    wchar_t system[MAX_PATH] = {};
    wchar_t windows[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    search.pathList = search.serviceFolder + L";" + system + L";" + windows;
    const DWORD pathChars = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (pathChars > 0) {
        std::vector<wchar_t> path(pathChars, L'\0');
        GetEnvironmentVariableW(L"PATH", path.data(), pathChars);
        search.pathList += L";" + std::wstring(path.data());
    }
    return search;
}

bool ProgramExists(const std::wstring& candidate, const ProgramSearch& search)
{
    return SearchPathW(search.pathList.c_str(), candidate.c_str(), L".exe", 0, nullptr, nullptr) > 0;
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
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, HotkeySubkeyPath(name.c_str()).c_str(), 0, KEY_READ, &subkey.key);
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
        for (const std::wstring& candidate : ProgramCandidates(*facts.command).candidates) {
            facts.programFound.push_back(ProgramExists(candidate, search));
        }
    }
    return facts;
}

}  // namespace

CheckResult CheckConfiguration()
{
    KeyFacts key;
    DWORD namesError = ERROR_SUCCESS;
    key.namesRead = ReadHotkeyNames(key.names, namesError);
    key.namesError = key.namesRead ? 0 : namesError;

    KReg hotkeyKey;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHotkeyKeyPath, 0, KEY_READ, &hotkeyKey.key);
    key.keyOpened = opened == ERROR_SUCCESS;
    key.keyError = key.keyOpened ? 0 : static_cast<DWORD>(opened);
    if (key.keyOpened) {
        DWORD subkeys = 0;
        RegQueryInfoKeyW(hotkeyKey.key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
        key.subkeyCount = subkeys;
    }
    hotkeyKey.Close();

    const ProgramSearch search = MakeProgramSearch();
    std::vector<HotkeyFacts> hotkeys;
    for (const std::wstring& name : key.names) {
        hotkeys.push_back(ReadHotkey(name, search));
    }
    const CheckLimits limits{kHotkeyNameChars - 1, kHotkeyCommandChars - 1, kMaxHotkeys};
    CheckResult result = EvaluateCheck(key, hotkeys, limits);
    // Whether a local Ctrl+Alt+Del can bring up the secure screen.
    const SoftwareSasReading softwareSas = ReadSoftwareSasPolicy();
    if (const std::optional<Finding> finding = SoftwareSasFinding(softwareSas.stored, softwareSas.error)) {
        result.findings.push_back(*finding);
    }
    return result;
}

int CheckVerb(const CtlCommand& command, CtlOutput& output)
{
    const CheckResult result = CheckConfiguration();
    output.Out(command.json ? CheckJson(result) : CheckText(result, ServiceExitCodeText(result.exitCode)));
    return result.wouldStart ? 0 : kExitFailed;
}
