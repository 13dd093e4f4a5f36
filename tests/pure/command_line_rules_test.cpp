#include "service/command_line_rules.h"

#include <gtest/gtest.h>

TEST(ParseServiceSwitch, RecognisesBothSwitchesInAnyAsciiCase)
{
    struct Case {
        const wchar_t* argument;
        ServiceSwitch expected;
    } const cases[] = {
        {L"/install", ServiceSwitch::Install},
        {L"/INSTALL", ServiceSwitch::Install},
        {L"/Install", ServiceSwitch::Install},
        {L"/Uninstall", ServiceSwitch::Uninstall},
        {L"/uninstall", ServiceSwitch::Uninstall},
        {L"/UNINSTALL", ServiceSwitch::Uninstall},
        {L"install", ServiceSwitch::Unknown},
        {L"-install", ServiceSwitch::Unknown},
        {L"/install ", ServiceSwitch::Unknown},
        {L"/installx", ServiceSwitch::Unknown},
        {L"", ServiceSwitch::Unknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseServiceSwitch(c.argument), c.expected) << "'" << c.argument << "'";
    }
}
