// The one seam through which both programs reach Windows.
//
// `win32` is a process-wide table of the Win32 functions that the programs
// use, generated from the list in common/win32_functions.h. Each member
// starts out as the real function; a test replaces single members (for
// example `win32.Sleep` with a virtual clock) and restores the table
// afterwards with `Win32Override`. Product code calls
// `win32.CreateEventW(...)` where it would call `CreateEventW(...)`.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>
#include <sddl.h>
#include <shlwapi.h>
#include <wtsapi32.h>

#include <functional>

#include "common/win32_functions.h"

namespace tarnwick_detail {
template <typename F>
struct ApiSlot;
template <typename R, typename... A>
struct ApiSlot<R(A...)> {
    using type = std::function<R(A...)>;
};
}  // namespace tarnwick_detail

#define TW_SLOT(name, failure, lastError) tarnwick_detail::ApiSlot<decltype(::name)>::type name = ::name;

struct Win32Api {
    TW_WIN32_FUNCTIONS(TW_SLOT)
};

#undef TW_SLOT

// Never destroyed, so that owners of handles in process-wide state can still
// close them while the process exits.
extern Win32Api& win32;

// Restores the whole table when it goes out of scope; tests create one and
// then replace single members of `win32`.
class Win32Override {
public:
    Win32Override() : saved_(win32) {}
    ~Win32Override() { win32 = saved_; }
    Win32Override(const Win32Override&) = delete;
    Win32Override& operator=(const Win32Override&) = delete;

private:
    Win32Api saved_;
};
