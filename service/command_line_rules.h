// The switches of the service's command-line mode. Needs no Windows header.
#pragma once

enum class ServiceSwitch { Install, Uninstall, Unknown };

// "/install" or "/Uninstall", compared without regard to ASCII case.
ServiceSwitch ParseServiceSwitch(const wchar_t* argument);
