// The machine policy that decides whether a service may simulate the secure
// attention sequence (SendSAS in sas.dll): the value "SoftwareSASGeneration",
// a REG_DWORD below HKEY_LOCAL_MACHINE, which the Group Policy setting
// "Disable or enable software Secure Attention Sequence" writes: 0 lets
// nobody, 1 services, 2 Ease of Access applications, 3 both. An absent value
// lets no service. Needs no Windows header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

constexpr const wchar_t* kSystemPoliciesKeyPath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const wchar_t* kSoftwareSasGeneration = L"SoftwareSASGeneration";

// Whether the policy lets services simulate the sequence: a REG_DWORD 1 or 3.
// `value` is nothing when the value is absent or not a REG_DWORD of four
// bytes.
bool SoftwareSasAllowsServices(std::optional<std::uint32_t> value);

// The number that lets services simulate the sequence and keeps what the
// current one lets: 3 where Ease of Access applications alone (2) may, else 1.
std::uint32_t SoftwareSasAllowingServices(std::optional<std::uint32_t> value);

// The command that sets the policy to `value`:
// reg add "HKLM\SOFTWARE\...\Policies\System" /v SoftwareSASGeneration /t REG_DWORD /d 1 /f
std::wstring SoftwareSasCommand(std::uint32_t value);
