#include "common/software_sas.h"

namespace {

constexpr std::uint32_t kServices = 1;
constexpr std::uint32_t kEaseOfAccess = 2;
constexpr std::uint32_t kServicesAndEaseOfAccess = 3;

}  // namespace

bool SoftwareSasAllowsServices(std::optional<std::uint32_t> value)
{
    return value && (*value == kServices || *value == kServicesAndEaseOfAccess);
}

std::uint32_t SoftwareSasAllowingServices(std::optional<std::uint32_t> value)
{
    return value && *value == kEaseOfAccess ? kServicesAndEaseOfAccess : kServices;
}

std::wstring SoftwareSasCommand(std::uint32_t value)
{
    return std::wstring(L"reg add \"HKLM\\") + kSystemPoliciesKeyPath + L"\" /v " + kSoftwareSasGeneration +
           L" /t REG_DWORD /d " + std::to_wstring(value) + L" /f";
}
