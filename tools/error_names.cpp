#include "tools/error_names.h"

namespace {

struct ErrorName {
    std::uint32_t error;
    const wchar_t* name;
    const wchar_t* meaning;  // at the service's start; null: none of its own
};

const ErrorName kErrors[] = {
    {0, L"NO_ERROR", L"the service started, or stopped normally"},
    {2, L"ERROR_FILE_NOT_FOUND", L"the hotkey key does not exist"},
    {3, L"ERROR_PATH_NOT_FOUND", nullptr},
    {5, L"ERROR_ACCESS_DENIED", L"a key of the hotkey configuration cannot be read"},
    {6, L"ERROR_INVALID_HANDLE", L"a hotkey's event cannot be created"},
    {8, L"ERROR_NOT_ENOUGH_MEMORY", L"memory ran out while the configuration was read"},
    {87, L"ERROR_INVALID_PARAMETER", nullptr},
    {234, L"ERROR_MORE_DATA", nullptr},
    {259, L"ERROR_NO_MORE_ITEMS", nullptr},
    {1060, L"ERROR_SERVICE_DOES_NOT_EXIST", nullptr},
    {1066, L"ERROR_SERVICE_SPECIFIC_ERROR", nullptr},
    {1067, L"ERROR_PROCESS_ABORTED", L"the service process ended unexpectedly"},
    {1077, L"ERROR_SERVICE_NEVER_STARTED", L"the service has not been started since the system started"},
    {1610, L"ERROR_BAD_CONFIGURATION", L"the hotkey configuration cannot be used"},
};

const ErrorName* Find(std::uint32_t error)
{
    for (const ErrorName& entry : kErrors) {
        if (entry.error == error) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

std::wstring Win32ErrorName(std::uint32_t error)
{
    const ErrorName* entry = Find(error);
    return entry != nullptr ? entry->name : L"";
}

std::wstring ErrorLabel(std::uint32_t error)
{
    const std::wstring name = Win32ErrorName(error);
    return L"error " + std::to_wstring(error) + (name.empty() ? L"" : L" (" + name + L")");
}

std::wstring ServiceExitCodeMeaning(std::uint32_t exitCode)
{
    const ErrorName* entry = Find(exitCode);
    if (entry == nullptr || entry->meaning == nullptr) {
        return L"";
    }
    return std::wstring(entry->name) + L": " + entry->meaning;
}
