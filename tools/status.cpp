#include "tools/status.h"

#include "common/driver_config.h"
#include "common/handles.h"
#include "common/lock_policy.h"
#include "tools/ctl_args.h"
#include "tools/ctl_messages.h"

#include <vector>

int ShowStatus(CtlOutput& output)
{
    int exitCode = 0;
    std::wstring user;
    if (!GetConsoleUserName(user)) {
        output.Out(L"console user: none\n");
    } else {
        wchar_t sid[kSidStringChars] = {};
        if (!GetAccountSidString(user.c_str(), sid)) {
            output.Out(L"console user: " + user + L"\n");
            output.Err(FailureMessage(L"cannot look up the SID of \"" + user + L"\"", GetLastError()));
            exitCode = kExitFailed;
        } else {
            output.Out(L"console user: " + user + L" (" + sid + L")\n");
            wchar_t pathBuffer[kLockPolicyPathChars] = {};
            FormatLockPolicyKeyPath(sid, pathBuffer);
            const std::wstring path = pathBuffer;
            KReg key;
            DWORD type = 0;
            std::vector<BYTE> data(64);
            DWORD size = static_cast<DWORD>(data.size());
            LONG result = RegOpenKeyExW(HKEY_USERS, path.c_str(), 0, KEY_READ, &key.key);
            if (result == ERROR_SUCCESS) {
                result = RegQueryValueExW(key.key, kDisableLockWorkstation, nullptr, &type, data.data(), &size);
            }
            if (result == ERROR_SUCCESS) {
                data.resize(size);
                output.Out(std::wstring(kDisableLockWorkstation) + L": " +
                           FormatValue(type, std::vector<std::uint8_t>(data.begin(), data.end())) + L"\n");
            } else if (result == ERROR_FILE_NOT_FOUND) {
                output.Out(std::wstring(kDisableLockWorkstation) + L": absent\n");
            } else {
                output.Err(FailureMessage(L"cannot read " + std::wstring(kDisableLockWorkstation) +
                                              L" under HKEY_USERS\\" + path,
                                          static_cast<DWORD>(result)));
                exitCode = kExitFailed;
            }
        }
    }
    KHandle marker(OpenEventW(SYNCHRONIZE, FALSE, kLogonMarkerName));
    output.Out(std::wstring(kLogonMarkerName) + (marker ? L": exists\n" : L": absent\n"));
    return exitCode;
}
