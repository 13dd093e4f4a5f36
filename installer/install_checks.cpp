#include "installer/install_checks.h"

#include "installer/setup_messages.h"

#include <cwctype>

std::wstring RefusalOf(const InstallFacts& facts)
{
    if (facts.newerFound && !facts.installed) {
        return DowngradeText();
    }
    if (facts.agentHotkeys != L"0" && facts.agentHotkeys != L"1") {
        return AgentHotkeysText(facts.agentHotkeys);
    }
    if (facts.softwareSas != L"0" && facts.softwareSas != L"1") {
        return SoftwareSasText(facts.softwareSas);
    }
    if (facts.folderCheck != L"0" && facts.folderCheck != L"1") {
        return FolderCheckText(facts.folderCheck);
    }
    if (facts.folderCheck == L"1" && !facts.openFolder.empty()) {
        return OpenFolderText(facts.folder, facts.openFolder);
    }
    // Installed by the package (this version, or one it upgrades): its own.
    if (facts.serviceRegistered && !facts.installed && !facts.olderFound && !facts.newerFound) {
        return ForeignServiceText(facts.serviceImagePath);
    }
    return std::wstring();
}

namespace {

// Lower case (ASCII and what the C locale knows), without a trailing
// backslash.
std::wstring FolderKey(const std::wstring& folder)
{
    std::wstring key = folder;
    while (!key.empty() && key.back() == L'\\') {
        key.pop_back();
    }
    for (wchar_t& c : key) {
        c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    }
    return key;
}

}  // namespace

SettingChoice ChooseSetting(bool maintenance, const std::wstring& given, const std::wstring& remembered,
                            const std::wstring& fallback, bool folder)
{
    SettingChoice choice;
    if (!given.empty() && !maintenance) {
        choice.value = given;
        choice.source = SettingSource::Given;
        return choice;
    }
    if (!remembered.empty()) {
        choice.value = remembered;
        choice.source = SettingSource::Remembered;
    } else {
        choice.value = fallback;
        choice.source = SettingSource::Default;
    }
    if (!given.empty()) {
        choice.givenIgnored = folder ? FolderKey(given) != FolderKey(choice.value) : given != choice.value;
    }
    return choice;
}
