// The fault sweep of TarnwickCtl's check, status and lock-policy (show and
// set), run in this process through the tool's entry with its output
// collected: a hotkey whose program exists, TarnwickSvc registered and
// running in the service manager in memory, the sweep's console user with
// "DisableLockWorkstation" = 1; every Windows call and every allocation fails
// once. The registry (inside a sandbox), the program search, the versions of
// files and the text of errors are real, the logon marker absent; the
// owners and access lists of files are FakeFileSecurity's.
#include "tests/support/fake_console_account.h"
#include "tests/support/fake_file_security.h"
#include "tests/support/fake_service_manager.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/narrow_text.h"
#include "tests/support/process_figures.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/strict_win32.h"
#include "tools/ctl.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

const wchar_t kServiceImage[] = L"\"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe\"";

// The console user's "DisableLockWorkstation" in the sandbox: the number, or
// -1 when it is not a REG_DWORD.
long long LockPolicyValue()
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!RegistrySandbox::GetValue(HKEY_USERS, SweepConsoleUser::PolicyKeyPath(), L"DisableLockWorkstation", type, data) ||
        type != REG_DWORD || data.size() != sizeof(DWORD)) {
        return -1;
    }
    return *reinterpret_cast<const DWORD*>(data.data());
}

// Everything below the sandbox's two roots, with the write times of keys.
KeyDump RegistrySnapshot()
{
    KeyDump all;
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_USERS}) {
        std::vector<std::wstring> names;
        wchar_t name[256] = {};
        for (DWORD index = 0;; ++index) {
            DWORD chars = 256;
            if (RegEnumKeyExW(root, index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names.push_back(name);
        }
        for (const std::wstring& top : names) {
            for (const auto& entry : RegistrySandbox::Dump(root, top, true)) {
                all[(root == HKEY_USERS ? L"HKU\\" : L"HKLM\\") + entry.first] = entry.second;
            }
        }
    }
    return all;
}

// The calls whose failure Microsoft documents as an answer: the service does
// not exist (OpenServiceW's ERROR_SERVICE_DOES_NOT_EXIST), no session is
// attached to the console (WTSGetActiveConsoleSessionId's 0xFFFFFFFF), the
// file is not found (SearchPathW's ERROR_FILE_NOT_FOUND), the file has no
// version resource (ERROR_RESOURCE_TYPE_NOT_FOUND), or it has no such
// version value (VerQueryValueW's FALSE).
bool MeansAbsence(const char* call)
{
    static const std::set<std::string> calls = {"OpenServiceW", "WTSGetActiveConsoleSessionId", "SearchPathW",
                                                 "GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueW"};
    return call != nullptr && calls.count(call) != 0;
}

size_t Mentions(const std::wstring& text, const std::wstring& word)
{
    size_t count = 0;
    for (size_t at = text.find(word); at != std::wstring::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
}

// What one verb is, and what must hold after it whatever failed.
struct Verb {
    std::string name;
    std::vector<std::wstring> args;
    bool readsOnly;
    long long setsTo;  // lock-policy N: the value an exit code 0 promises; -1 for the others
};

// TarnwickCtl's wmain turns an exception of the C++ library (memory that ran
// out) into exit code 1 with a message; a verb run here does the same.
constexpr int kOutOfMemoryExit = 1;

SweepCase CtlCase(const Verb& verb, const std::shared_ptr<std::wstring>& cleanOut)
{
    return {verb.name, [=](SweepRun& run) {
        // Real are the registry (in the sandbox), what the program search
        // and the versions of files read, the logon marker's event, the
        // program's path, the SID strings and the text of errors; every other
        // call is substituted below, and one that is not fails the run.
        KStrictWin32Override api(
            &Win32Api::RegOpenKeyExW, &Win32Api::RegQueryInfoKeyW, &Win32Api::RegEnumKeyExW,
            &Win32Api::RegEnumValueW, &Win32Api::RegQueryValueExW, &Win32Api::RegCreateKeyExW,
            &Win32Api::RegSetValueExW, &Win32Api::RegFlushKey, &Win32Api::RegCloseKey, &Win32Api::GetSystemDirectoryW,
            &Win32Api::GetWindowsDirectoryW, &Win32Api::GetEnvironmentVariableW, &Win32Api::SearchPathW,
            &Win32Api::GetModuleFileNameW, &Win32Api::GetFileAttributesW, &Win32Api::GetFileVersionInfoSizeW,
            &Win32Api::GetFileVersionInfoW, &Win32Api::VerQueryValueW, &Win32Api::CloseHandle,
            &Win32Api::ConvertSidToStringSidW, &Win32Api::LocalFree, &Win32Api::FormatMessageW);
        RegistrySandbox::SetDword(HKEY_USERS, SweepConsoleUser::PolicyKeyPath(), L"DisableLockWorkstation", 1);
        SweepConsoleUser user;
        FakeServiceManager manager;
        manager.managerAccess = {SC_MANAGER_CONNECT};
        FakeService& service = manager.services[L"TarnwickSvc"];
        service.imagePath = kServiceImage;
        FakeFileSecurity files;
        // No service runs: no logon marker (a service of another test in
        // the prefix would make one).
        win32.OpenEventW = [](DWORD, BOOL, LPCWSTR) -> HANDLE {
            ::SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        };
        const KeyDump before = RegistrySnapshot();
        const DWORD handlesBefore = CountProcessHandles(GetCurrentProcessId());

        KCollectedOutput output;
        int exitCode = -1;
        bool outOfMemory = false;
        run.Counted([&] {
            try {
                exitCode = RunTarnwickCtl(verb.args, output);
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
                exitCode = kOutOfMemoryExit;
            }
        });

        if (outOfMemory && !run.Failure().allocation) {
            run.Problem("std::bad_alloc without a failed allocation");
        }
        const DWORD handlesAfter = CountProcessHandles(GetCurrentProcessId());
        if (handlesAfter != handlesBefore) {
            run.Problem(std::to_string(handlesAfter) + " handles after the run, " + std::to_string(handlesBefore) +
                        " before");
        }
        if (manager.OpenHandles() != 0) {
            run.Problem(std::to_string(manager.OpenHandles()) + " service handle(s) left open");
        }
        if (user.Unreleased() != 0) {
            run.Problem(std::to_string(user.Unreleased()) + " terminal-services buffer(s), token(s) or SID string(s) "
                        "not freed");
        }
        if (files.Unfreed() != 0) {
            run.Problem(std::to_string(files.Unfreed()) + " security descriptor(s) not freed");
        }
        if (verb.readsOnly && RegistrySnapshot() != before) {
            run.Problem("the registry was written");
        }
        if (!run.Failure().Any()) {
            if (exitCode != 0) {
                run.Problem("exit code " + std::to_string(exitCode) + " without a failure: " + Narrow(output.err));
            }
            *cleanOut = output.out;
        } else if (exitCode != 0 && exitCode != 1) {
            run.Problem("exit code " + std::to_string(exitCode));
        } else if (exitCode == 0 && verb.setsTo >= 0 && LockPolicyValue() != verb.setsTo) {
            run.Problem("exit code 0, but \"DisableLockWorkstation\" is " + std::to_string(LockPolicyValue()));
        } else if (exitCode == 0 && output.out != *cleanOut && !MeansAbsence(run.Failure().call) &&
                   Mentions(output.out, L"cannot") <= Mentions(*cleanOut, L"cannot")) {
            // With exit code 0, a verb shows what it shows without a failure,
            // or says what it could not read.
            run.Problem("exit code 0, and the output differs from the one without a failure without saying what "
                        "could not be read:\n" + Narrow(output.out));
        }
    }};
}

TEST(FaultSweep, CtlCheckStatusAndLockPolicy)
{
    RegistrySandbox sandbox;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(L"LWin+L"), L"run",
                               L"\"C:\\windows\\system32\\cmd.exe\" /c exit");
    ASSERT_NE(CountProcessHandles(GetCurrentProcessId()), 0u) << "the handles of this process cannot be counted";
    const std::vector<Verb> verbs = {
        {"check", {L"check"}, true, -1},
        {"check --json", {L"check", L"--json"}, true, -1},
        {"status", {L"status"}, true, -1},
        {"lock-policy (show)", {L"lock-policy"}, true, -1},
        {"lock-policy 0 (set)", {L"lock-policy", L"0"}, false, 0},
    };
    for (const Verb& verb : verbs) {
        const auto cleanOut = std::make_shared<std::wstring>();
        const SweepFigures figures = RunFaultSweep("TarnwickCtl " + verb.name, {CtlCase(verb, cleanOut)});
        EXPECT_GT(figures.points, 0u);
    }
}

}  // namespace
