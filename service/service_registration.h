// What the service is registered as. Needs no Windows header.
#pragma once

#include <cstdint>

constexpr const wchar_t* kServiceName = L"TarnwickSvc";
constexpr const wchar_t* kServiceDisplayName = L"Tarnwick Service";
// SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS.
constexpr std::uint32_t kServiceType = 0x110;
