#include "tests/support/process_figures.h"

#include <psapi.h>

#include <cstring>
#include <vector>

namespace {

// Information classes of NtQuerySystemInformation and its answer for a
// buffer that is too small.
constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

using QuerySystemInformation = LONG(WINAPI*)(ULONG infoClass, PVOID buffer, ULONG size, PULONG returned);

// One entry of the extended list: the owner is a full process id.
struct ExtendedHandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};

// One entry of the older list. Windows stores the owner as a 16-bit process
// id followed by a 16-bit back-trace index; Wine stores a 32-bit process id.
struct HandleEntry {
    ULONG owner;
    BYTE objectType;
    BYTE flags;
    USHORT handleValue;
    PVOID object;
    ULONG grantedAccess;
};

// Fills `buffer` with the answer for `infoClass`, growing it as the system
// asks. False when the class is not answered.
bool QueryHandleList(ULONG infoClass, std::vector<unsigned char>& buffer)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
        return false;
    }
    const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    if (query == nullptr) {
        return false;
    }
    buffer.assign(64 * 1024, 0);
    for (;;) {
        ULONG returned = 0;
        const LONG status = query(infoClass, buffer.data(), static_cast<ULONG>(buffer.size()), &returned);
        if (status == 0) {
            return true;
        }
        // Handles come and go between two calls: grow beyond what was asked.
        if (status != kStatusInfoLengthMismatch || buffer.size() >= 256u * 1024 * 1024) {
            return false;
        }
        const size_t wanted = returned > buffer.size() ? returned : buffer.size();
        buffer.assign(wanted * 2, 0);
    }
}

bool CountInExtendedList(DWORD processId, DWORD& count)
{
    std::vector<unsigned char> buffer;
    if (!QueryHandleList(kSystemExtendedHandleInformation, buffer)) {
        return false;
    }
    // Two ULONG_PTR (number of handles, reserved), then the entries.
    ULONG_PTR entries = 0;
    std::memcpy(&entries, buffer.data(), sizeof(entries));
    const size_t start = 2 * sizeof(ULONG_PTR);
    if (entries > (buffer.size() - start) / sizeof(ExtendedHandleEntry)) {
        return false;
    }
    count = 0;
    for (ULONG_PTR i = 0; i < entries; ++i) {
        ExtendedHandleEntry entry;
        std::memcpy(&entry, buffer.data() + start + i * sizeof(entry), sizeof(entry));
        if (entry.processId == processId) {
            ++count;
        }
    }
    return true;
}

bool CountInList(DWORD processId, DWORD& count)
{
    std::vector<unsigned char> buffer;
    if (!QueryHandleList(kSystemHandleInformation, buffer)) {
        return false;
    }
    // A ULONG count, then the entries from the next pointer-aligned offset.
    ULONG entries = 0;
    std::memcpy(&entries, buffer.data(), sizeof(entries));
    const size_t start = sizeof(ULONG_PTR);
    if (entries > (buffer.size() - start) / sizeof(HandleEntry)) {
        return false;
    }
    // A process id that fits in 16 bits is compared with the low half only:
    // right for Windows' layout, and for Wine's, whose process ids stay small.
    // A larger one can only match in Wine's layout.
    const bool wholeOwner = processId > 0xFFFF;
    count = 0;
    for (ULONG i = 0; i < entries; ++i) {
        HandleEntry entry;
        std::memcpy(&entry, buffer.data() + start + i * sizeof(entry), sizeof(entry));
        const ULONG owner = wholeOwner ? entry.owner : (entry.owner & 0xFFFF);
        if (owner == processId) {
            ++count;
        }
    }
    return true;
}

}  // namespace

DWORD CountProcessHandles(DWORD processId)
{
    DWORD count = 0;
    HANDLE process = processId == GetCurrentProcessId()
                         ? GetCurrentProcess()
                         : OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process != nullptr) {
        const BOOL counted = GetProcessHandleCount(process, &count);
        if (process != GetCurrentProcess()) {
            CloseHandle(process);
        }
        if (counted && count != 0) {
            return count;
        }
    }
    if (CountInExtendedList(processId, count) || CountInList(processId, count)) {
        return count;
    }
    return 0;
}

ProcessMemory QueryProcessMemory(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, &counters, sizeof(counters))) {
        return ProcessMemory{0, 0};
    }
    return ProcessMemory{counters.WorkingSetSize, counters.PagefileUsage};
}
