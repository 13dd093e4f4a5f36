#include "tests/support/win32_fault_injection.h"

#include "tests/support/allocation_failure.h"

#include <cstring>
#include <type_traits>

namespace {

bool IsReleasing(const char* name)
{
#define TW_IS_RELEASING(function)              \
    if (std::strcmp(name, #function) == 0) { \
        return true;                           \
    }
    TW_WIN32_RELEASING_FUNCTIONS(TW_IS_RELEASING)
#undef TW_IS_RELEASING
    return false;
}

template <typename Slot>
struct FailingMember;
template <typename R, typename... A>
struct FailingMember<std::function<R(A...)>> {
    // A real function allocates nothing through operator new, and what it
    // calls back (an enumeration's callback) is the code under test: it runs
    // counted. A substitute is test code: it runs in an AllocationPause.
    static R Call(const std::function<R(A...)>& member, bool real, A... args)
    {
        if (real) {
            return member(args...);
        }
        AllocationPause pause;
        return member(args...);
    }

    template <typename Failure>
    static void Wrap(std::function<R(A...)>& member, const char* name, Failure failure, DWORD lastError,
                     R (*function)(A...), Win32FaultInjector* injector)
    {
        std::function<R(A...)> wrapped = member;
        R (*const* target)(A...) = wrapped.template target<R (*)(A...)>();
        const bool real = target != nullptr && *target == function;
        if constexpr (std::is_same<Failure, Win32CannotFail>::value) {
            static_cast<void>(name);
            static_cast<void>(failure);
            static_cast<void>(lastError);
            static_cast<void>(injector);
            member = [wrapped, real](A... args) -> R { return Call(wrapped, real, args...); };
        } else {
            // The registry functions and Windows Installer's return their
            // error; the others leave it.
            DWORD error = lastError;
            if constexpr (std::is_same<R, LONG>::value || std::is_same<R, UINT>::value) {
                if (lastError == 0) {
                    error = static_cast<DWORD>(failure);
                }
            }
            const bool releasing = IsReleasing(name);
            member = [wrapped, real, name, failure, lastError, error, releasing, injector](A... args) -> R {
                if (!injector->CountCall(name, error)) {
                    return Call(wrapped, real, args...);
                }
                if (releasing) {
                    Call(wrapped, real, args...);
                }
                if (lastError != 0) {
                    ::SetLastError(lastError);
                }
                return static_cast<R>(failure);
            };
        }
    }
};

}  // namespace

Win32FaultInjector::Win32FaultInjector(std::size_t failAt)
    : failAt_(failAt), thread_(GetCurrentThreadId()), saved_(win32)
{
#define TW_FAILING_MEMBER(name, failure, lastError) \
    FailingMember<decltype(Win32Api::name)>::Wrap(win32.name, #name, failure, lastError, &::name, this);
    TW_WIN32_LINKED_FUNCTIONS(TW_FAILING_MEMBER)
#undef TW_FAILING_MEMBER
    // The functions bound at run time from system DLLs are not imported:
    // their members run as substitutes do (in an AllocationPause), which
    // changes nothing, since they allocate nothing through operator new and
    // call nothing back.
#define TW_FAILING_BOUND_MEMBER(name, failure, lastError) \
    FailingMember<decltype(Win32Api::name)>::Wrap(win32.name, #name, failure, lastError, nullptr, this);
    TW_WIN32_WTSAPI32_FUNCTIONS(TW_FAILING_BOUND_MEMBER)
    TW_WIN32_VERSION_FUNCTIONS(TW_FAILING_BOUND_MEMBER)
    TW_WIN32_MSI_FUNCTIONS(TW_FAILING_BOUND_MEMBER)
#undef TW_FAILING_BOUND_MEMBER
}

Win32FaultInjector::~Win32FaultInjector()
{
    win32 = saved_;
}

bool Win32FaultInjector::CountCall(const char* name, DWORD error)
{
    if (GetCurrentThreadId() != thread_) {
        return false;
    }
    ++count_;
    if (recordNames_) {
        AllocationPause pause;
        names_.push_back(name);
    }
    if (count_ != failAt_) {
        return false;
    }
    failedCall_ = name;
    failedError_ = error;
    return true;
}
