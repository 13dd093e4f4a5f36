#include "tests/support/program_image.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

TEST(AgentProgram, IsAGuiProgramWithTheApplicationManifest)
{
    const ProgramImage image = ReadProgramImage(BinPath(L"TarnwickAgent.exe"));
    ASSERT_TRUE(image.loaded);
    EXPECT_EQ(image.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    ASSERT_FALSE(image.manifest.empty());
    ExpectApplicationManifest(image.manifest);
}
