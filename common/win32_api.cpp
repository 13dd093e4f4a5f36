#include "common/win32_api.h"

#include <atomic>

namespace {

std::atomic<FARPROC> boundFunctions[static_cast<std::size_t>(SystemDllFunction::Count)];

}  // namespace

Win32Api& win32 = *new Win32Api;
SystemDllLoader& systemDllLoader = *new SystemDllLoader;

FARPROC tarnwick_detail::BindSystemDllFunction(SystemDllFunction function, const wchar_t* dll, const char* name)
{
    std::atomic<FARPROC>& bound = boundFunctions[static_cast<std::size_t>(function)];
    FARPROC address = bound.load();
    if (address != nullptr) {
        return address;
    }
    // Two threads that bind at once load the module twice; it stays loaded
    // either way, and both find the same address.
    const HMODULE module = systemDllLoader.load(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        return nullptr;
    }
    address = systemDllLoader.find(module, name);
    if (address == nullptr) {
        // Not bound: the module is given back, keeping the error of the
        // lookup.
        const DWORD error = ::GetLastError();
        systemDllLoader.release(module);
        ::SetLastError(error);
        return nullptr;
    }
    bound.store(address);
    return address;
}

void ForgetSystemDllBindings()
{
    for (std::atomic<FARPROC>& bound : boundFunctions) {
        bound.store(nullptr);
    }
}
