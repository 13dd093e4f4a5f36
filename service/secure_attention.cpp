#include "service/secure_attention.h"

#include "common/handles.h"
#include "common/software_sas_policy.h"

namespace {

// sas.h: void SendSAS(BOOL AsUser). MinGW has the header but no import
// library, so the function is looked up at run time.
using SendSasFunction = void(WINAPI*)(BOOL);
constexpr const char* kSendSas = "SendSAS";

// The error of the call that just failed, or `otherwise` when it left none:
// a refusal must never read as NO_ERROR.
DWORD ErrorOr(DWORD otherwise)
{
    const DWORD error = win32.GetLastError();
    return error != NO_ERROR ? error : otherwise;
}

// The worker: it owns the reference to sas.dll that it was given, so that
// the module stays loaded until SendSAS has returned, whatever the service
// does meanwhile. Nothing waits for it: a stop of the service goes on while
// it runs, and the process's exit ends it.
DWORD WINAPI SendSasWorker(LPVOID module)
{
    const KModule sas(static_cast<HMODULE>(module));
    // Through void (*)(): the generic function pointer type, from which a
    // cast to the function's real type is made without complaint.
    const auto sendSas = reinterpret_cast<SendSasFunction>(
        reinterpret_cast<void (*)()>(win32.GetProcAddress(sas.get(), kSendSas)));
    if (sendSas != nullptr) {
        // FALSE: the caller is not the current user but a service.
        sendSas(FALSE);
    }
    return 0;
}

}  // namespace

DWORD HandleSecureAttentionRequest()
{
    // Without the policy SendSAS returns and does nothing at all: refuse, so
    // that the agent synthesises the keys instead.
    if (!ServicesMaySimulateSas()) {
        return ERROR_ACCESS_DISABLED_BY_POLICY;
    }
    // From the system folder only, never from the current directory or the
    // path (LoadLibraryExW with LOAD_LIBRARY_SEARCH_SYSTEM32).
    KModule sas(win32.LoadLibraryExW(L"sas.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!sas) {
        return ErrorOr(ERROR_MOD_NOT_FOUND);
    }
    if (win32.GetProcAddress(sas.get(), kSendSas) == nullptr) {
        return ErrorOr(ERROR_PROC_NOT_FOUND);
    }
    // The control handler is to return at once (HandlerEx: lengthy work goes
    // to a thread of its own), and the service manager waits for it before it
    // delivers the next control, a stop among them: SendSAS runs on a worker.
    const KHandle worker(win32.CreateThread(nullptr, 0, &SendSasWorker, sas.get(), 0, nullptr));
    if (!worker) {
        return ErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    }
    // The worker holds the module now and frees it when it is done.
    static_cast<void>(sas.release());
    return NO_ERROR;
}
