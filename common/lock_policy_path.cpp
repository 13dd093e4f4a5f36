#include "common/lock_policy_path.h"

#include <cwchar>

void FormatLockPolicyKeyPath(const wchar_t* sidString, wchar_t (&path)[kLockPolicyPathChars])
{
    std::swprintf(path, kLockPolicyPathChars, L"%ls\\%ls", sidString != nullptr ? sidString : L"", kPolicySystemKey);
}
