#include "installer/install_checks.h"

#include "installer/setup_messages.h"

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
    // Installed by the package (this version, or one it upgrades): its own.
    if (facts.serviceRegistered && !facts.installed && !facts.olderFound && !facts.newerFound) {
        return ForeignServiceText(facts.serviceImagePath);
    }
    return std::wstring();
}
