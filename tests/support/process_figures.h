// Figures of a running process that show leaks: how many handles it holds and
// how much memory it uses. Plain Win32, no test framework, so that test
// programs and benchmark programs can both use it.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>

// The number of handles that process `processId` holds, or 0 when it cannot
// be told. Uses GetProcessHandleCount when that gives a count (Wine's
// returns 0), otherwise the system's list of all handles with their owners.
DWORD CountProcessHandles(DWORD processId);

struct ProcessMemory {
    size_t workingSet;    // bytes in physical memory
    size_t privateBytes;  // bytes committed for the process alone (the commit charge)
};

// The memory figures of `process` (a handle with PROCESS_QUERY_INFORMATION or
// PROCESS_QUERY_LIMITED_INFORMATION and PROCESS_VM_READ, or
// GetCurrentProcess()); all zero when they cannot be read. privateBytes is
// the commit charge (PagefileUsage); under Wine it follows the private memory
// that has been touched.
ProcessMemory QueryProcessMemory(HANDLE process);
