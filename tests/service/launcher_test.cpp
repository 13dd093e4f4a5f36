// LaunchInConsoleSession and the program's own path: the calls it makes are
// recorded with substitutes, in strict mode.
#include "service/launcher.h"
#include "tests/service/service_fakes.h"
#include "tests/support/narrow_text.h"
#include "tests/support/strict_win32.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

using Steps = std::vector<std::string>;

class Launcher : public ::testing::Test {
protected:
    // The program file as GetModuleFileNameW reports it, and as
    // GetLongPathNameW turns it into its long form; `moduleResult` and
    // `longResult` replace the calls' results when not 0xFFFFFFFF.
    void FakeModulePath(const std::wstring& reported, const std::wstring& longForm,
                        DWORD moduleResult = 0xFFFFFFFF, DWORD longResult = 0xFFFFFFFF)
    {
        win32.GetModuleFileNameW = [=](HMODULE module, LPWSTR buffer, DWORD size) -> DWORD {
            EXPECT_EQ(module, nullptr);
            EXPECT_EQ(size, 4096u);
            for (DWORD i = 0; i < size; ++i) {
                EXPECT_EQ(buffer[i], L'\0') << "the buffer is zero-filled first";
                if (buffer[i] != L'\0') {
                    break;
                }
            }
            wcsncpy(buffer, reported.c_str(), size);
            return moduleResult != 0xFFFFFFFF ? moduleResult : static_cast<DWORD>(reported.size());
        };
        win32.GetLongPathNameW = [=](LPCWSTR shortPath, LPWSTR buffer, DWORD size) -> DWORD {
            EXPECT_EQ(shortPath, buffer) << "converted in place";
            EXPECT_EQ(size, 4096u);
            EXPECT_EQ(std::wstring(shortPath), reported);
            wcsncpy(buffer, longForm.c_str(), size);
            return longResult != 0xFFFFFFFF ? longResult : static_cast<DWORD>(longForm.size());
        };
    }

    ServiceGlobalsReset globals;
    // Real: the process's own pseudo handle, and cutting the file name off
    // a path. Each case records its launch with a LaunchRecorder of its own.
    KStrictWin32Override api{&Win32Api::GetCurrentProcess, &Win32Api::PathRemoveFileSpecW};
};

TEST_F(Launcher, MovesItsOwnTokenIntoTheConsoleSessionAndStartsTheCommandLineAsGiven)
{
    FakeModulePath(L"C:\\Tarnwick\\TarnwickSvc.exe", L"C:\\Tarnwick\\TarnwickSvc.exe");
    for (DWORD session : {1ul, 0xFFFFFFFFul}) {
        SCOPED_TRACE(session);
        LaunchRecorder launches;
        launches.consoleSession = session;
        const wchar_t commandLine[] = L"C:\\Program Files\\x.exe LWin+L";

        LaunchInConsoleSession(commandLine);

        EXPECT_EQ(launches.steps, (Steps{"open-token", "duplicate-token", "set-session", "directory C:\\Tarnwick",
                                         "create", "close child-thread", "close child-process",
                                         "close primary-token", "close process-token"}));
        ASSERT_EQ(launches.opens.size(), 1u);
        EXPECT_EQ(launches.opens[0].process, GetCurrentProcess());
        EXPECT_EQ(launches.opens[0].access, 0xF01FFu);  // TOKEN_ALL_ACCESS
        ASSERT_EQ(launches.duplicates.size(), 1u);
        EXPECT_EQ(launches.duplicates[0].source, kFakeProcessToken);
        EXPECT_EQ(launches.duplicates[0].access, 0x02000000u);  // MAXIMUM_ALLOWED
        EXPECT_TRUE(launches.duplicates[0].noAttributes);
        EXPECT_EQ(launches.duplicates[0].level, 1);  // SecurityIdentification
        EXPECT_EQ(launches.duplicates[0].type, 1);   // TokenPrimary
        ASSERT_EQ(launches.sets.size(), 1u);
        EXPECT_EQ(launches.sets[0].token, kFakePrimaryToken);
        EXPECT_EQ(launches.sets[0].infoClass, 12);  // TokenSessionId
        EXPECT_EQ(launches.sets[0].size, 4u);
        EXPECT_EQ(launches.sets[0].value, session);  // 0xFFFFFFFF, too, is passed on unchanged

        ASSERT_EQ(launches.creates.size(), 1u);
        const CreateCall& call = launches.creates[0];
        EXPECT_EQ(call.token, kFakePrimaryToken);
        EXPECT_TRUE(call.noApplicationName);
        EXPECT_EQ(call.commandLine, commandLine);  // nothing quoted or split
        EXPECT_NE(call.commandLinePointer, commandLine) << "a writable copy";
        EXPECT_STREQ(commandLine, L"C:\\Program Files\\x.exe LWin+L") << "the caller's text is untouched";
        EXPECT_TRUE(call.noSecurityAttributes);
        EXPECT_EQ(call.inheritHandles, FALSE);
        // No console window for a console program: a LocalSystem console on
        // the user's desktop would be a LocalSystem shell.
        EXPECT_EQ(call.flags, static_cast<DWORD>(CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS));
        EXPECT_TRUE(call.noEnvironment);
        EXPECT_TRUE(call.noDirectory) << "the child inherits the current directory";
        EXPECT_EQ(call.startup.cb, sizeof(STARTUPINFOW));
        // The interactive desktop, named: a service's own window station is
        // not the user's.
        EXPECT_EQ(call.desktop, L"winsta0\\default");
        EXPECT_TRUE(call.desktopWritable);
        EXPECT_EQ(call.startup.dwFlags, 0u);
        EXPECT_EQ(call.startup.hStdOutput, nullptr);
    }
}

TEST_F(Launcher, FailedStepsEndSilentlyAndLeaveNoHandleOpen)
{
    FakeModulePath(L"C:\\T\\TarnwickSvc.exe", L"C:\\T\\TarnwickSvc.exe");
    struct Case {
        const char* what;
        BOOL open;
        BOOL duplicate;
        BOOL create;
        Steps steps;
        HANDLE createdWith;
    } const cases[] = {
        {"no process token: the launch is still attempted", FALSE, FALSE, TRUE,
         {"open-token", "duplicate-token", "set-session", "directory C:\\T", "create", "close child-thread",
          "close child-process"},
         nullptr},
        {"no duplicate", TRUE, FALSE, TRUE,
         {"open-token", "duplicate-token", "set-session", "directory C:\\T", "create", "close child-thread",
          "close child-process", "close process-token"},
         nullptr},
        {"the process cannot be created", TRUE, TRUE, FALSE,
         {"open-token", "duplicate-token", "set-session", "directory C:\\T", "create", "close primary-token",
          "close process-token"},
         kFakePrimaryToken},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LaunchRecorder launches;
        launches.openTokenResult = c.open;
        launches.duplicateResult = c.duplicate;
        launches.createResult = c.create;

        LaunchInConsoleSession(L"x.exe k");

        EXPECT_EQ(launches.steps, c.steps);
        ASSERT_EQ(launches.creates.size(), 1u);
        EXPECT_EQ(launches.creates[0].token, c.createdWith);
    }
}

TEST_F(Launcher, TheWorkingDirectoryIsTheProgramsLongDirectory)
{
    struct Case {
        const char* what;
        std::wstring reported;
        std::wstring longForm;
        DWORD moduleResult;
        DWORD longResult;
        std::wstring path;       // GetModulePath
        std::wstring directory;  // GetModuleDirectory, and the directory set when longer than one character
    } const cases[] = {
        {"short form made long", L"C:\\PROGRA~1\\TARNWI~1\\TARNWI~1.EXE",
         L"C:\\Program Files\\Tarnwick Service\\TarnwickSvc.exe", 0xFFFFFFFF, 0xFFFFFFFF,
         L"C:\\Program Files\\Tarnwick Service\\TarnwickSvc.exe", L"C:\\Program Files\\Tarnwick Service"},
        {"a drive root", L"C:\\TarnwickSvc.exe", L"C:\\TarnwickSvc.exe", 0xFFFFFFFF, 0xFFFFFFFF,
         L"C:\\TarnwickSvc.exe", L"C:\\"},
        {"a one-character directory", L"\\TarnwickSvc.exe", L"\\TarnwickSvc.exe", 0xFFFFFFFF, 0xFFFFFFFF,
         L"\\TarnwickSvc.exe", L"\\"},
        {"no directory", L"TarnwickSvc.exe", L"TarnwickSvc.exe", 0xFFFFFFFF, 0xFFFFFFFF, L"TarnwickSvc.exe", L""},
        {"no module path", L"", L"", 0, 0xFFFFFFFF, L"", L""},
        {"a module path cut at the buffer's end", L"C:\\T\\x.exe", L"C:\\T\\x.exe", 4096, 0xFFFFFFFF, L"", L""},
        {"no long path", L"C:\\T\\x.exe", L"C:\\T\\x.exe", 0xFFFFFFFF, 0, L"", L""},
        {"a long path too long for the buffer", L"C:\\T\\x.exe", L"C:\\T\\x.exe", 0xFFFFFFFF, 5000, L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeModulePath(c.reported, c.longForm, c.moduleResult, c.longResult);
        EXPECT_EQ(GetModulePath(), c.path);
        EXPECT_EQ(GetModuleDirectory(), c.directory);

        LaunchRecorder launches;
        LaunchInConsoleSession(L"x.exe k");
        Steps expected = {"open-token", "duplicate-token", "set-session"};
        if (c.directory.size() > 1) {
            expected.push_back("directory " + Narrow(c.directory));
        }
        expected.insert(expected.end(), {"create", "close child-thread", "close child-process",
                                         "close primary-token", "close process-token"});
        EXPECT_EQ(launches.steps, expected);
    }
}

}  // namespace
