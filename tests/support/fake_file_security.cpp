#include "tests/support/fake_file_security.h"

#include "tests/support/narrow_text.h"

#include <gtest/gtest.h>

const wchar_t* const FakeFileSecurity::kProtected = L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

FakeFileSecurity::FakeFileSecurity(const std::wstring& defaultText) : defaultSddl(defaultText)
{
    substitutes_.Replace(&Win32Api::GetNamedSecurityInfoW,
                         [this](LPCWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID* owner,
                                PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) -> DWORD {
        const std::wstring path = name;
        asked.push_back(path);
        EXPECT_EQ(type, SE_FILE_OBJECT);
        EXPECT_EQ(what, static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION));
        EXPECT_TRUE(group == nullptr && sacl == nullptr);
        const auto failing = errors.find(path);
        if (failing != errors.end()) {
            return failing->second;
        }
        const auto found = sddl.find(path);
        const std::wstring& text = found != sddl.end() ? found->second : defaultSddl;
        PSECURITY_DESCRIPTOR made = nullptr;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &made, nullptr)) {
            ADD_FAILURE() << "not a security descriptor: " << Narrow(text);
            return ERROR_INVALID_PARAMETER;
        }
        descriptors_.insert(made);
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL list = nullptr;
        ::GetSecurityDescriptorDacl(made, &present, &list, &defaulted);
        PSID ownerSid = nullptr;
        ::GetSecurityDescriptorOwner(made, &ownerSid, &defaulted);
        if (owner != nullptr) {
            *owner = ownerSid;
        }
        if (dacl != nullptr) {
            *dacl = present ? list : nullptr;
        }
        *descriptor = made;
        return ERROR_SUCCESS;
    });
    const auto localFree = win32.LocalFree;
    substitutes_.Replace(&Win32Api::LocalFree, [this, localFree](HLOCAL block) -> HLOCAL {
        if (descriptors_.erase(block) == 1) {
            return ::LocalFree(block);
        }
        return localFree(block);
    });
}

FakeFileSecurity::~FakeFileSecurity()
{
    EXPECT_EQ(descriptors_.size(), 0u) << "security descriptors not freed";
    for (void* descriptor : descriptors_) {
        ::LocalFree(descriptor);
    }
}
