// The system's text of a Win32 error, through the win32 table: an error with
// a name, one without, and one the system has no text for.
#include "common/error_text.h"
#include "tests/support/narrow_text.h"
#include "tests/support/strict_win32.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// FormatMessageW as the system answers it: the text allocated with
// LocalAlloc, with its line break, or 0 and ERROR_MR_MID_NOT_FOUND for a
// number it has no message for.
class FakeSystemTexts {
public:
    explicit FakeSystemTexts(std::map<DWORD, std::wstring> texts) : texts_(std::move(texts))
    {
        win32.FormatMessageW = [this](DWORD flags, LPCVOID source, DWORD id, DWORD language, LPWSTR buffer, DWORD size,
                                      auto /*arguments*/) -> DWORD {
            ++calls;
            EXPECT_EQ(flags, DWORD{FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS});
            EXPECT_EQ(source, nullptr);
            EXPECT_EQ(language, 0u);
            EXPECT_EQ(size, 0u);
            const auto found = texts_.find(id);
            if (found == texts_.end()) {
                ::SetLastError(ERROR_MR_MID_NOT_FOUND);
                return 0;
            }
            const std::wstring text = found->second + L"\r\n";
            auto* block = static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(wchar_t)));
            text.copy(block, text.size());
            block[text.size()] = L'\0';
            *reinterpret_cast<wchar_t**>(buffer) = block;
            ++allocated;
            return static_cast<DWORD>(text.size());
        };
        win32.LocalFree = [this](HLOCAL block) -> HLOCAL {
            ++freed;
            return ::LocalFree(block);
        };
    }

    int calls = 0;
    int allocated = 0;
    int freed = 0;

private:
    KStrictWin32Override api_;
    std::map<DWORD, std::wstring> texts_;
};

}  // namespace

TEST(ExplainError, TheNumberAndTheSystemsTextWithoutItsEnd)
{
    struct Case {
        DWORD error;
        const wchar_t* errorText;
        const wchar_t* exitCodeText;
        int formatCalls;  // DescribeServiceExitCode asks only where the table has no meaning
    } const cases[] = {
        {ERROR_ACCESS_DENIED, L"error 5: Access is denied",
         L"ERROR_ACCESS_DENIED: a key of the hotkey configuration cannot be read", 1},
        {ERROR_PATH_NOT_FOUND, L"error 3: The system cannot find the path specified",
         L"ERROR_PATH_NOT_FOUND: The system cannot find the path specified", 2},
        {ERROR_CONNECTION_REFUSED, L"error 1225: The remote computer refused the network connection",
         L"The remote computer refused the network connection", 2},
        {0xE0001234, L"error 3758101044", L"", 2},  // no text: the number alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        FakeSystemTexts system({{ERROR_ACCESS_DENIED, L"Access is denied."},
                                {ERROR_PATH_NOT_FOUND, L"The system cannot find the path specified."},
                                {ERROR_CONNECTION_REFUSED, L"The remote computer refused the network connection."}});
        EXPECT_EQ(Narrow(ExplainError(c.error)), Narrow(c.errorText));
        EXPECT_EQ(Narrow(DescribeServiceExitCode(c.error)), Narrow(c.exitCodeText));
        EXPECT_EQ(system.calls, c.formatCalls);
        EXPECT_EQ(system.freed, system.allocated) << "every text is given back with LocalFree";
    }
}

TEST(ExplainError, TheSystemsOwnText)
{
    const std::wstring text = ExplainError(ERROR_FILE_NOT_FOUND);
    ASSERT_GT(text.size(), std::wstring(L"error 2: ").size()) << Narrow(text);
    EXPECT_EQ(text.compare(0, 9, L"error 2: "), 0) << Narrow(text);
    EXPECT_NE(text.back(), L'.') << Narrow(text);
    EXPECT_NE(text.back(), L'\n') << Narrow(text);
}
