#include "tests/support/fake_sas.h"

#include "tests/support/allocation_failure.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

const HMODULE kFakeSasModule = reinterpret_cast<HMODULE>(0x5A50000);
FakeSas* current = nullptr;

}  // namespace

FakeSas::FakeSas()
{
    EXPECT_EQ(current, nullptr) << "one FakeSas at a time";
    current = this;
    substitutes_.Replace(&Win32Api::LoadLibraryExW, [this](LPCWSTR name, HANDLE file, DWORD flags) -> HMODULE {
        char flagText[16];
        std::snprintf(flagText, sizeof(flagText), "0x%lX", static_cast<unsigned long>(flags));
        Note(std::string("load ") + (std::wcscmp(name, L"sas.dll") == 0 ? "sas.dll " : "another module ") + flagText);
        EXPECT_EQ(file, nullptr);
        if (!present) {
            ::SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        std::lock_guard<std::mutex> hold(mutex_);
        ++references_;
        return kFakeSasModule;
    });
    substitutes_.Replace(&Win32Api::GetProcAddress, [this](HMODULE module, LPCSTR name) -> FARPROC {
        Note(std::string("find ") + name);
        EXPECT_EQ(module, kFakeSasModule);
        if (!exportsSendSas || std::strcmp(name, "SendSAS") != 0) {
            ::SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&FakeSas::SendSas));
    });
    substitutes_.Replace(&Win32Api::FreeLibrary, [this](HMODULE module) -> BOOL {
        Note("free");
        EXPECT_EQ(module, kFakeSasModule);
        std::lock_guard<std::mutex> hold(mutex_);
        --references_;
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::CreateThread,
                         [this](LPSECURITY_ATTRIBUTES attributes, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                LPVOID parameter, DWORD flags, LPDWORD id) -> HANDLE {
        Note("thread");
        if (threadFails) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (realThreads) {
            return ::CreateThread(attributes, stack, start, parameter, flags, id);
        }
        EXPECT_EQ(flags, 0u);
        {
            std::lock_guard<std::mutex> hold(mutex_);
            workers_.emplace_back(start, parameter);
        }
        // A real handle for the service to close: an event that stands for
        // the thread.
        return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    });
}

FakeSas::~FakeSas()
{
    current = nullptr;
}

size_t FakeSas::RunWorkers()
{
    std::vector<std::pair<LPTHREAD_START_ROUTINE, LPVOID>> workers;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        workers.swap(workers_);
    }
    for (const auto& worker : workers) {
        worker.first(worker.second);
    }
    return workers.size();
}

std::vector<std::string> FakeSas::Calls() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return calls_;
}

std::vector<BOOL> FakeSas::SendSasCalls() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return sendSasCalls_;
}

int FakeSas::References() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return references_;
}

void WINAPI FakeSas::SendSas(BOOL asUser)
{
    FakeSas* self = current;
    if (self == nullptr) {
        ADD_FAILURE() << "SendSAS called with no FakeSas alive";
        return;
    }
    // Test code, called by the code under test without the table: what it
    // allocates is not counted against the code under test.
    AllocationPause pause;
    self->Note("SendSAS " + std::to_string(asUser));
    {
        std::lock_guard<std::mutex> hold(self->mutex_);
        self->sendSasCalls_.push_back(asUser);
    }
    if (self->sendSasBlocksOn != nullptr) {
        ::WaitForSingleObject(self->sendSasBlocksOn, INFINITE);
    }
}

void FakeSas::Note(const std::string& call)
{
    std::lock_guard<std::mutex> hold(mutex_);
    calls_.push_back(call);
}
