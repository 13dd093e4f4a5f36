// Strict mode for unit tests: a KWin32Override in which every Windows call
// that the test did not replace fails the running test, naming the call,
// and fails like the function itself. A test that makes a call for real on
// purpose names it:
//   KStrictWin32Override api(&Win32Api::CreateEventW, &Win32Api::CloseHandle);
// (or later with api.UseReal(...)). Fakes replace their calls on top.
//
// The calling thread's last error (GetLastError, SetLastError) stays real
// without being named: it is state of the thread, not of the machine, every
// handle owner keeps it across the release of its handle, and fakes set it
// when they fail.
#pragma once

#include "common/win32_api.h"

// Fails the running test: `slot` was called without being replaced.
void FailTestOnUnreplacedCall(const char* slot);

class KStrictWin32Override : public KWin32Override {
public:
    template <typename... F>
    explicit KStrictWin32Override(F Win32Api::*... real) : KWin32Override(&FailTestOnUnreplacedCall)
    {
        UseReal(&Win32Api::GetLastError, &Win32Api::SetLastError, real...);
    }
};
