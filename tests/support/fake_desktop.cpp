#include "tests/support/fake_desktop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <utility>

FakeDesktop::FakeDesktop(std::vector<const wchar_t*> names) : names_(std::move(names))
{
    substitutes_.Replace(&Win32Api::OpenInputDesktop,
                         [this](DWORD flags, BOOL inherit, ACCESS_MASK access) -> HDESK {
        EXPECT_EQ(flags, 0u);
        EXPECT_FALSE(inherit);
        EXPECT_EQ(access, static_cast<ACCESS_MASK>(DESKTOP_ENUMERATE));
        current_ = names_[reads < names_.size() ? reads : names_.size() - 1];
        ++reads;
        if (current_ == nullptr) {
            return nullptr;
        }
        ++opened;
        return kHandle;
    });
    substitutes_.Replace(&Win32Api::GetUserObjectInformationW,
                         [this](HANDLE object, int index, PVOID buffer, DWORD size, LPDWORD needed) -> BOOL {
        EXPECT_EQ(object, kHandle);
        EXPECT_EQ(index, UOI_NAME);
        const DWORD chars = static_cast<DWORD>(wcslen(current_)) + (withoutTerminator ? 0 : 1);
        const DWORD bytes = chars * sizeof(wchar_t);
        *needed = zeroLength ? 0 : bytes;
        if (buffer == nullptr || size < bytes) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        if (secondReadFails) {
            return FALSE;
        }
        std::memcpy(buffer, current_, bytes);
        return TRUE;
    });
    substitutes_.Replace(&Win32Api::CloseDesktop, [this](HDESK desktop) {
        EXPECT_EQ(desktop, kHandle);
        ++closed;
        return TRUE;
    });
}
