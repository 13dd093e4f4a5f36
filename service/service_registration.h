// What the service is registered as, and the control of its own that it
// answers. Needs no Windows header.
#pragma once

#include <cstdint>

constexpr const wchar_t* kServiceName = L"TarnwickSvc";
constexpr const wchar_t* kServiceDisplayName = L"Tarnwick Service";
// SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS.
constexpr std::uint32_t kServiceType = 0x110;

// The user-defined service control (Windows leaves 128 to 255 to the
// service) with which the agent asks the service to simulate the secure
// attention sequence. The service answers it with NO_ERROR when it took the
// request, and with an error when it cannot make the call.
constexpr std::uint32_t kSecureAttentionControl = 128;
