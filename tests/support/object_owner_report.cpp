#include "tests/support/object_owner_report.h"

#include "common/win32_api.h"

#include <gtest/gtest.h>

void ReportEveryObjectOwnedBy(const std::wstring& ownerSid)
{
    win32.GetSecurityInfo = [ownerSid](HANDLE, SE_OBJECT_TYPE type, SECURITY_INFORMATION wanted, PSID* owner,
                                       PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) -> DWORD {
        EXPECT_EQ(type, SE_KERNEL_OBJECT);
        EXPECT_EQ(wanted, static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION));
        EXPECT_TRUE(group == nullptr && dacl == nullptr && sacl == nullptr);
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW((L"O:" + ownerSid).c_str(), SDDL_REVISION_1,
                                                                  descriptor, nullptr)) {
            return GetLastError();
        }
        BOOL defaulted = FALSE;
        GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
        return ERROR_SUCCESS;
    };
    win32.IsWellKnownSid = ::IsWellKnownSid;
}
