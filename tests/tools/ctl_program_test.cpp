// The real TarnwickCtl.exe: its image, its usage and exit codes, and
// lock-policy on the console user's real value (which the end-to-end tests
// of the service use as well: LOCK).
#include "tests/support/machine_registry.h"
#include "tests/support/program_image.h"
#include "tests/support/test_programs.h"
#include "tests/support/text_contains.h"

#include <gtest/gtest.h>

#include <string>

namespace {

RunResult RunCtl(const std::wstring& arguments)
{
    return RunProgram(L"\"" + BinPath(L"TarnwickCtl.exe") + L"\" " + arguments);
}

TEST(CtlProgram, IsAConsoleProgramWithTheApplicationManifest)
{
    const ProgramImage image = ReadProgramImage(BinPath(L"TarnwickCtl.exe"));
    ASSERT_TRUE(image.loaded);
    EXPECT_EQ(image.subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
    ExpectApplicationManifest(image.manifest);
}

TEST(CtlProgram, HelpPrintsTheUsageAndWrongArgumentsGiveItWithExitCodeTwo)
{
    RunResult run = RunCtl(L"help");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "usage:\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "TarnwickCtl lock-policy [0|1]")) << run.output;

    for (const wchar_t* wrong : {L"", L"frobnicate", L"lock-policy 2", L"list x"}) {
        run = RunCtl(wrong);
        EXPECT_EQ(run.exitCode, 2u) << run.output;
        EXPECT_TRUE(Contains(run.output, "usage:\n")) << run.output;
    }
}

// The value left at 1 by a service that was ended by hand: lock-policy 0
// gives the user the lock back.
TEST(CtlProgram, LockPolicyZeroGivesTheConsoleUserTheLockBack)
{
    const ConsoleLockPolicy saved;
    saved.Set(1);
    RunResult run = RunCtl(L"lock-policy");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, ": 1: Windows does not let ")) << run.output;

    run = RunCtl(L"lock-policy 0");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, " set to 0: ")) << run.output;
    EXPECT_EQ(saved.Get(), 0);
}

}  // namespace
