// The one wording of a Win32 error and the table of the service's exit codes.
#include "common/error_names.h"
#include "tests/support/narrow_text.h"

#include <gtest/gtest.h>

TEST(DescribeError, NumberThenNameThenSystemText)
{
    struct Case {
        std::uint32_t error;
        bool withName;
        const wchar_t* systemText;
        const wchar_t* expected;
    } const cases[] = {
        {5, true, L"", L"error 5 (ERROR_ACCESS_DENIED)"},
        {5, false, L"Access is denied", L"error 5: Access is denied"},
        {5, true, L"Access is denied", L"error 5 (ERROR_ACCESS_DENIED): Access is denied"},
        {5, false, L"", L"error 5"},
        {0, true, L"", L"error 0 (NO_ERROR)"},
        {1234, true, L"", L"error 1234"},  // not listed: the number alone
        {1234, true, L"No service is operating at the destination network endpoint on the remote system",
         L"error 1234: No service is operating at the destination network endpoint on the remote system"},
        {4294967295u, true, L"", L"error 4294967295"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DescribeError(c.error, c.withName, c.systemText), c.expected) << c.error;
    }
    EXPECT_EQ(LabelError(1610), L"error 1610 (ERROR_BAD_CONFIGURATION)");
    EXPECT_EQ(LabelError(1060), L"error 1060 (ERROR_SERVICE_DOES_NOT_EXIST)");
    EXPECT_EQ(LabelError(31), L"error 31");
}

TEST(TrimSystemText, DropsTheLineBreakAndFullStopAtTheEndOnly)
{
    EXPECT_EQ(TrimSystemText(L"Access is denied.\r\n"), L"Access is denied");
    EXPECT_EQ(TrimSystemText(L"The system cannot find the file specified. \r\n"),
              L"The system cannot find the file specified");
    EXPECT_EQ(TrimSystemText(L"Line one.\r\nLine two.\r\n"), L"Line one.\r\nLine two");
    EXPECT_EQ(TrimSystemText(L".\r\n"), L"");
    EXPECT_EQ(TrimSystemText(L""), L"");
}

TEST(ServiceExitCodes, OneTableGivesMeaningNameAndFault)
{
    struct Case {
        std::uint32_t code;
        const wchar_t* withoutSystemText;  // what TarnwickSmoke shows
        const wchar_t* withSystemText;     // given the system's text "TEXT"
        bool configurationFault;
    } const cases[] = {
        {0, L"NO_ERROR: the service started, or stopped normally", L"NO_ERROR: the service started, or stopped normally",
         false},
        {2, L"ERROR_FILE_NOT_FOUND: the hotkey key does not exist", L"ERROR_FILE_NOT_FOUND: the hotkey key does not exist",
         true},
        {5, L"ERROR_ACCESS_DENIED: a key of the hotkey configuration cannot be read",
         L"ERROR_ACCESS_DENIED: a key of the hotkey configuration cannot be read", true},
        {6, L"ERROR_INVALID_HANDLE: a hotkey's event cannot be created",
         L"ERROR_INVALID_HANDLE: a hotkey's event cannot be created", false},
        {1067, L"ERROR_PROCESS_ABORTED: the service process ended unexpectedly",
         L"ERROR_PROCESS_ABORTED: the service process ended unexpectedly", false},
        {1610, L"ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used",
         L"ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used", true},
        {1307,
         L"ERROR_INVALID_OWNER: a hotkey's event existed already, made by someone other than SYSTEM or "
         L"Administrators",
         L"ERROR_INVALID_OWNER: a hotkey's event existed already, made by someone other than SYSTEM or "
         L"Administrators",
         false},
        // A name but no meaning of its own: the name, and the system's text.
        {3, L"ERROR_PATH_NOT_FOUND", L"ERROR_PATH_NOT_FOUND: TEXT", false},
        {1066, L"ERROR_SERVICE_SPECIFIC_ERROR", L"ERROR_SERVICE_SPECIFIC_ERROR: TEXT", false},
        // Neither: the system's text alone.
        {1053, L"", L"TEXT", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(Narrow(ComposeServiceExitCodeText(c.code, L"")), Narrow(c.withoutSystemText));
        EXPECT_EQ(Narrow(ComposeServiceExitCodeText(c.code, L"TEXT")), Narrow(c.withSystemText));
        EXPECT_EQ(IsConfigurationFault(c.code), c.configurationFault);
    }
    EXPECT_EQ(DescribeExitCode(1610, ExplainServiceExitCode(1610)),
              L"1610 (ERROR_BAD_CONFIGURATION: the hotkey configuration cannot be used)");
    EXPECT_EQ(DescribeExitCode(1053, L""), L"1053");
    EXPECT_EQ(ExplainServiceExitCode(3), L"");
    EXPECT_EQ(ExplainServiceExitCode(1077),
              L"ERROR_SERVICE_NEVER_STARTED: the service has not been started since the system started");
}
