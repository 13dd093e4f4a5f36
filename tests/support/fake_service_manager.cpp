#include "tests/support/fake_service_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

const HANDLE kFakeProcessHeap = reinterpret_cast<HANDLE>(0x4EA9);

}  // namespace

FakeServiceManager::FakeServiceManager(FakeServiceManagerParts parts)
{
    SubstituteServiceCalls();
    if (parts == FakeServiceManagerParts::All) {
        SubstituteClockHeapAndDescriptors();
    }
}

void FakeServiceManager::Note(const std::string& call)
{
    calls.push_back(call);
    if (onCall) {
        onCall(call);
    }
}

void FakeServiceManager::SubstituteServiceCalls()
{
    substitutes_.Replace(&Win32Api::OpenSCManagerW,
                         [this](LPCWSTR machine, LPCWSTR database, DWORD access) -> SC_HANDLE {
        Note("open manager");
        EXPECT_EQ(machine, nullptr);
        EXPECT_EQ(database, nullptr);
        EXPECT_EQ(managerAccess.count(access), 1u) << "the manager opened with access " << access;
        if (!managerOpens) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return NewHandle({true, L"", nullptr});
    });

    substitutes_.Replace(&Win32Api::OpenServiceW, [this](SC_HANDLE manager, LPCWSTR name, DWORD access) -> SC_HANDLE {
        Note("open " + Narrow(name));
        const OpenHandle* owner = Find(manager);
        EXPECT_TRUE(owner != nullptr && owner->isManager) << "opened through a handle that is no open manager";
        openAccess[name] = access;
        const auto found = services.find(name);
        if (found == services.end() || !found->second.openable) {
            ::SetLastError(found == services.end() ? ERROR_SERVICE_DOES_NOT_EXIST : ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return NewHandle({false, name, manager});
    });

    substitutes_.Replace(&Win32Api::CreateServiceW,
                         [this](SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access, DWORD type,
                                DWORD start, DWORD errorControl, LPCWSTR binaryPath, LPCWSTR group, LPDWORD tag,
                                LPCWSTR dependencies, LPCWSTR account, LPCWSTR password) -> SC_HANDLE {
        Note("create " + Narrow(name));
        const OpenHandle* owner = Find(manager);
        EXPECT_TRUE(owner != nullptr && owner->isManager) << "created through a handle that is no open manager";
        creates.push_back({name, displayName ? displayName : L"(null)", access, type, start, errorControl,
                           binaryPath ? binaryPath : L"(null)", group == nullptr, tag == nullptr,
                           dependencies == nullptr, account == nullptr, password == nullptr});
        if (services.count(name) != 0) {
            ::SetLastError(ERROR_SERVICE_EXISTS);
            return nullptr;
        }
        FakeService& created = services[name];
        created.type = type;
        created.startType = start;
        created.imagePath = binaryPath != nullptr ? binaryPath : L"";
        return NewHandle({false, name, manager});
    });

    substitutes_.Replace(&Win32Api::StartServiceW, [this](SC_HANDLE handle, DWORD argc, LPCWSTR* argv) -> BOOL {
        FakeService* service = ServiceOf(handle);
        Note("start " + Narrow(Find(handle) ? Find(handle)->name : L"?"));
        EXPECT_EQ(argc, 0u);
        EXPECT_EQ(argv, nullptr);
        if (service == nullptr || service->startError != 0) {
            ::SetLastError(service == nullptr ? ERROR_INVALID_HANDLE : service->startError);
            return FALSE;
        }
        service->replies = service->startReplies;
        service->nextReply = 0;
        return TRUE;
    });

    // As Windows lays it out: the strings follow the structure.
    substitutes_.Replace(&Win32Api::QueryServiceConfigW, [this](SC_HANDLE handle, LPQUERY_SERVICE_CONFIGW config,
                                                                 DWORD size, LPDWORD needed) -> BOOL {
        FakeService* service = ServiceOf(handle);
        Note("config " + Narrow(Find(handle) ? Find(handle)->name : L"?"));
        if (service == nullptr || service->configFails) {
            ::SetLastError(service == nullptr ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
            return FALSE;
        }
        const std::wstring& path = service->imagePath;
        *needed = static_cast<DWORD>(sizeof(QUERY_SERVICE_CONFIGW) + (path.size() + 1) * sizeof(wchar_t));
        if (config == nullptr || size < *needed) {
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        *config = {};
        config->dwServiceType = service->type;
        config->dwStartType = service->startType;
        config->dwErrorControl = SERVICE_ERROR_NORMAL;
        config->lpBinaryPathName = reinterpret_cast<wchar_t*>(config + 1);
        path.copy(config->lpBinaryPathName, path.size());
        config->lpBinaryPathName[path.size()] = L'\0';
        return TRUE;
    });

    substitutes_.Replace(&Win32Api::QueryServiceStatusEx, [this](SC_HANDLE handle, SC_STATUS_TYPE level, LPBYTE buffer,
                                                                  DWORD size, LPDWORD needed) -> BOOL {
        FakeService* service = ServiceOf(handle);
        Note("query " + Narrow(Find(handle) ? Find(handle)->name : L"?"));
        now += queryCostMs;
        if (++queries_ > kMaxQueries) {
            // A loop that never ends: fail the test and end the loop.
            ADD_FAILURE() << "more than " << kMaxQueries << " status queries";
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        EXPECT_EQ(level, SC_STATUS_PROCESS_INFO);
        EXPECT_GE(size, sizeof(SERVICE_STATUS_PROCESS));
        if (service == nullptr || size < sizeof(SERVICE_STATUS_PROCESS)) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        const FakeStatus reply = service->replies[std::min(service->nextReply, service->replies.size() - 1)];
        ++service->nextReply;
        if (reply.state == 0) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        SERVICE_STATUS_PROCESS status = {};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = reply.state;
        status.dwWaitHint = reply.waitHint;
        status.dwWin32ExitCode = reply.exitCode;
        std::memcpy(buffer, &status, sizeof(status));
        *needed = sizeof(status);
        return TRUE;
    });

    substitutes_.Replace(&Win32Api::ControlService,
                         [this](SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status) -> BOOL {
        FakeService* service = ServiceOf(handle);
        const std::string name = Narrow(Find(handle) ? Find(handle)->name : L"?");
        if (control != SERVICE_CONTROL_STOP) {
            Note("control " + std::to_string(control) + " " + name);
            if (service == nullptr || service->controlError != 0) {
                ::SetLastError(service == nullptr ? ERROR_INVALID_HANDLE : service->controlError);
                return FALSE;
            }
            *status = SERVICE_STATUS{};
            status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
            status->dwCurrentState = SERVICE_RUNNING;
            return TRUE;
        }
        Note("stop " + name);
        if (service == nullptr || !service->acceptsStop) {
            ::SetLastError(service == nullptr ? ERROR_INVALID_HANDLE : ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
            return FALSE;
        }
        *status = SERVICE_STATUS{};
        status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status->dwCurrentState = service->stopReply.state;
        status->dwWaitHint = service->stopReply.waitHint;
        return TRUE;
    });

    substitutes_.Replace(&Win32Api::EnumDependentServicesW,
                         [this](SC_HANDLE handle, DWORD state, LPENUM_SERVICE_STATUSW buffer, DWORD size,
                                LPDWORD needed, LPDWORD count) -> BOOL {
        FakeService* service = ServiceOf(handle);
        Note("enum " + Narrow(Find(handle) ? Find(handle)->name : L"?"));
        EXPECT_EQ(state, static_cast<DWORD>(SERVICE_ACTIVE));
        *count = 0;
        if (service == nullptr) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!service->dependents.empty()) {
            if (size == 0 && firstEnumError != 0) {
                ::SetLastError(firstEnumError);
                return FALSE;
            }
            if (size != 0 && secondEnumFails) {
                ::SetLastError(ERROR_ACCESS_DENIED);
                return FALSE;
            }
        }
        const BOOL answered = AnswerDependentServices(service->dependents, buffer, size, needed, count);
        if (!answered) {
            reportedBytes = *needed;
        }
        return answered;
    });

    substitutes_.Replace(&Win32Api::DeleteService, [this](SC_HANDLE handle) -> BOOL {
        FakeService* service = ServiceOf(handle);
        Note("delete " + Narrow(Find(handle) ? Find(handle)->name : L"?"));
        if (service == nullptr || service->deleteFails) {
            ::SetLastError(service == nullptr ? ERROR_INVALID_HANDLE : ERROR_SERVICE_MARKED_FOR_DELETE);
            return FALSE;
        }
        return TRUE;
    });

    substitutes_.Replace(&Win32Api::SetServiceObjectSecurity,
                         [this](SC_HANDLE handle, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor) -> BOOL {
        FakeService* service = ServiceOf(handle);
        const std::wstring name = Find(handle) ? Find(handle)->name : L"?";
        Note("secure " + Narrow(name));
        EXPECT_EQ(what, static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
        if (service == nullptr || securityFails) {
            ::SetLastError(service == nullptr ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
            return FALSE;
        }
        LPWSTR text = nullptr;
        EXPECT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what, &text,
                                                                           nullptr));
        accessLists[name] = text != nullptr ? text : L"";
        ::LocalFree(text);
        return TRUE;
    });

    substitutes_.Replace(&Win32Api::CloseServiceHandle, [this](SC_HANDLE handle) -> BOOL {
        const auto found = open_.find(handle);
        if (found == open_.end()) {
            ADD_FAILURE() << "closing a handle that is not open";
            return FALSE;
        }
        if (found->second.isManager) {
            Note("close manager");
            for (const auto& entry : open_) {
                EXPECT_FALSE(!entry.second.isManager && entry.second.manager == handle)
                    << "manager closed while " << Narrow(entry.second.name) << " is still open";
            }
        } else {
            Note("close " + Narrow(found->second.name));
        }
        open_.erase(found);
        return TRUE;
    });
}

void FakeServiceManager::SubstituteClockHeapAndDescriptors()
{
    substitutes_.Replace(&Win32Api::GetTickCount, [this]() { return now; });
    substitutes_.Replace(&Win32Api::Sleep, [this](DWORD ms) {
        Note("sleep " + std::to_string(ms));
        sleeps.push_back(ms);
        now += ms;
    });

    // Descriptors are converted for real; the fake sees that each is given
    // back, and keeps what is set as text.
    substitutes_.Replace(&Win32Api::ConvertStringSecurityDescriptorToSecurityDescriptorW,
                         [this](LPCWSTR text, DWORD revision, PSECURITY_DESCRIPTOR* descriptor, PULONG size) -> BOOL {
        Note("convert");
        const BOOL converted = ::ConvertStringSecurityDescriptorToSecurityDescriptorW(text, revision, descriptor, size);
        if (converted) {
            descriptors_.insert(*descriptor);
        }
        return converted;
    });
    const auto localFree = win32.LocalFree;
    substitutes_.Replace(&Win32Api::LocalFree, [this, localFree](HLOCAL block) -> HLOCAL {
        if (descriptors_.erase(block) == 1) {
            Note("free descriptor");
            return ::LocalFree(block);
        }
        return localFree(block);
    });
    // The process heap is one of its own: blocks come from the real one.
    substitutes_.Replace(&Win32Api::GetProcessHeap, []() { return kFakeProcessHeap; });
    substitutes_.Replace(&Win32Api::HeapAlloc, [this](HANDLE heap, DWORD flags, SIZE_T bytes) -> LPVOID {
        Note("alloc");
        EXPECT_EQ(heap, kFakeProcessHeap);
        allocations.push_back(bytes);
        allocationFlags.push_back(flags);
        if (heapFails) {
            return nullptr;
        }
        void* block = ::HeapAlloc(::GetProcessHeap(), flags, bytes);
        blocks_.insert(block);
        return block;
    });
    substitutes_.Replace(&Win32Api::HeapFree, [this](HANDLE heap, DWORD flags, LPVOID block) -> BOOL {
        Note("free");
        EXPECT_EQ(heap, kFakeProcessHeap);
        EXPECT_EQ(blocks_.erase(block), 1u) << "freeing a block that was not allocated";
        return ::HeapFree(::GetProcessHeap(), flags, block);
    });
}

FakeServiceManager::~FakeServiceManager()
{
    for (const auto& entry : open_) {
        ADD_FAILURE() << "left open: " << (entry.second.isManager ? "manager" : Narrow(entry.second.name));
    }
    EXPECT_TRUE(blocks_.empty()) << "a heap block was not freed";
    EXPECT_TRUE(descriptors_.empty()) << "a security descriptor was not freed";
    for (void* block : blocks_) {
        ::HeapFree(::GetProcessHeap(), 0, block);
    }
}

size_t FakeServiceManager::Count(const std::string& call) const
{
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

size_t FakeServiceManager::IndexOf(const std::string& call) const
{
    const auto found = std::find(calls.begin(), calls.end(), call);
    return found == calls.end() ? std::string::npos : static_cast<size_t>(found - calls.begin());
}

SC_HANDLE FakeServiceManager::NewHandle(const OpenHandle& entry)
{
    nextHandle_ += 0x10;
    const auto handle = reinterpret_cast<SC_HANDLE>(nextHandle_);
    open_[handle] = entry;
    return handle;
}

const FakeServiceManager::OpenHandle* FakeServiceManager::Find(SC_HANDLE handle) const
{
    const auto found = open_.find(handle);
    return found == open_.end() ? nullptr : &found->second;
}

FakeService* FakeServiceManager::ServiceOf(SC_HANDLE handle)
{
    const OpenHandle* entry = Find(handle);
    if (entry == nullptr || entry->isManager) {
        ADD_FAILURE() << "a service call on a handle that is no open service";
        return nullptr;
    }
    const auto found = services.find(entry->name);
    return found == services.end() ? nullptr : &found->second;
}

BOOL AnswerDependentServices(const std::vector<std::wstring>& names, LPENUM_SERVICE_STATUSW buffer, DWORD size,
                             LPDWORD needed, LPDWORD count)
{
    *count = 0;
    DWORD bytes = 0;
    for (const std::wstring& name : names) {
        bytes += static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUSW) + (name.size() + 1) * sizeof(wchar_t));
    }
    *needed = bytes;
    if (names.empty()) {
        return TRUE;
    }
    if (size < bytes) {
        ::SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(buffer) + names.size() * sizeof(ENUM_SERVICE_STATUSW));
    for (size_t i = 0; i < names.size(); ++i) {
        std::copy(names[i].begin(), names[i].end(), text);
        text[names[i].size()] = L'\0';
        buffer[i] = ENUM_SERVICE_STATUSW{};
        buffer[i].lpServiceName = text;
        buffer[i].lpDisplayName = text;
        buffer[i].ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        buffer[i].ServiceStatus.dwCurrentState = SERVICE_RUNNING;
        text += names[i].size() + 1;
    }
    *count = static_cast<DWORD>(names.size());
    return TRUE;
}
