// The strict mode of KWin32Override. Only tests use it; it lives apart from
// the table itself so that the programs do not carry it.
#include "common/win32_api.h"

namespace {

// A member that reports its call and then fails: it returns `result`
// (converted to the function's return type) and leaves `lastError` for
// GetLastError (0: the last error stays as it was).
template <typename Slot>
struct StrictSlot;
template <typename R, typename... A>
struct StrictSlot<std::function<R(A...)>> {
    template <typename Result>
    static std::function<R(A...)> Make(const char* name, Win32UnreplacedCall report, Result result, DWORD lastError)
    {
        return [name, report, result, lastError](A...) -> R {
            report(name);
            if (lastError != 0) {
                ::SetLastError(lastError);
            }
            return static_cast<R>(result);
        };
    }
};

}  // namespace

KWin32Override::KWin32Override(Win32UnreplacedCall report) : saved_(win32)
{
#define TW_STRICT_SLOT(name, failure, lastError) \
    win32.name = StrictSlot<decltype(Win32Api::name)>::Make(#name, report, failure, lastError);
    TW_WIN32_FUNCTIONS(TW_STRICT_SLOT)
#undef TW_STRICT_SLOT
}

const Win32Api& KWin32Override::RealWin32Functions()
{
    static const Win32Api real;
    return real;
}
