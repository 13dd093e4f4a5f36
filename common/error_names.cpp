#include "common/error_names.h"

namespace {

// The errors that the tools and the package name, and for those that the
// service gives as its exit code, what that means at its start.
struct ErrorRow {
    std::uint32_t error;
    const wchar_t* name;
    const wchar_t* meaning;   // at the service's start; null: none of its own
    bool configurationFault;  // the service's exit code when its configuration is at fault
};

const ErrorRow kErrors[] = {
    {0, L"NO_ERROR", L"the service started, or stopped normally", false},
    {kErrorFileNotFound, L"ERROR_FILE_NOT_FOUND", L"the hotkey key does not exist", true},
    {3, L"ERROR_PATH_NOT_FOUND", nullptr, false},
    {kErrorAccessDenied, L"ERROR_ACCESS_DENIED", L"a key of the hotkey configuration cannot be read", true},
    {6, L"ERROR_INVALID_HANDLE", L"a hotkey's event cannot be created", false},
    {8, L"ERROR_NOT_ENOUGH_MEMORY", L"memory ran out while the configuration was read", false},
    {87, L"ERROR_INVALID_PARAMETER", nullptr, false},
    {234, L"ERROR_MORE_DATA", nullptr, false},
    {259, L"ERROR_NO_MORE_ITEMS", nullptr, false},
    {kErrorServiceDoesNotExist, L"ERROR_SERVICE_DOES_NOT_EXIST", nullptr, false},
    {1066, L"ERROR_SERVICE_SPECIFIC_ERROR", nullptr, false},
    {1067, L"ERROR_PROCESS_ABORTED", L"the service process ended unexpectedly", false},
    {1077, L"ERROR_SERVICE_NEVER_STARTED", L"the service has not been started since the system started", false},
    {1307, L"ERROR_INVALID_OWNER",
     L"a hotkey's event existed already, made by someone other than SYSTEM or Administrators", false},
    {kErrorBadConfiguration, L"ERROR_BAD_CONFIGURATION", L"the hotkey configuration cannot be used", true},
};

const ErrorRow* Find(std::uint32_t error)
{
    for (const ErrorRow& row : kErrors) {
        if (row.error == error) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

std::wstring NameWin32Error(std::uint32_t error)
{
    const ErrorRow* row = Find(error);
    return row != nullptr ? row->name : L"";
}

std::wstring DescribeError(std::uint32_t error, bool withName, const std::wstring& systemText)
{
    std::wstring text = L"error " + std::to_wstring(error);
    const ErrorRow* row = withName ? Find(error) : nullptr;
    if (row != nullptr) {
        text += std::wstring(L" (") + row->name + L")";
    }
    if (!systemText.empty()) {
        text += L": " + systemText;
    }
    return text;
}

std::wstring LabelError(std::uint32_t error)
{
    return DescribeError(error, true, std::wstring());
}

std::wstring TrimSystemText(std::wstring text)
{
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    return text;
}

std::wstring ExplainServiceExitCode(std::uint32_t exitCode)
{
    const ErrorRow* row = Find(exitCode);
    if (row == nullptr || row->meaning == nullptr) {
        return std::wstring();
    }
    return std::wstring(row->name) + L": " + row->meaning;
}

std::wstring ComposeServiceExitCodeText(std::uint32_t exitCode, const std::wstring& systemText)
{
    const std::wstring meaning = ExplainServiceExitCode(exitCode);
    if (!meaning.empty()) {
        return meaning;
    }
    const std::wstring name = NameWin32Error(exitCode);
    if (name.empty()) {
        return systemText;
    }
    return systemText.empty() ? name : name + L": " + systemText;
}

std::wstring DescribeExitCode(std::uint32_t exitCode, const std::wstring& meaning)
{
    return std::to_wstring(exitCode) + (meaning.empty() ? std::wstring() : L" (" + meaning + L")");
}

bool IsConfigurationFault(std::uint32_t exitCode)
{
    const ErrorRow* row = Find(exitCode);
    return row != nullptr && row->configurationFault;
}
