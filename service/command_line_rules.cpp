#include "service/command_line_rules.h"

#include "common/names.h"

ServiceSwitch ParseServiceSwitch(const wchar_t* argument)
{
    if (NamesEqual(argument, L"/install")) {
        return ServiceSwitch::Install;
    }
    if (NamesEqual(argument, L"/Uninstall")) {
        return ServiceSwitch::Uninstall;
    }
    return ServiceSwitch::Unknown;
}
