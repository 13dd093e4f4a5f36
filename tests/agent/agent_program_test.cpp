#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <string>

TEST(AgentProgram, IsAGuiProgramWithTheApplicationManifest)
{
    WORD subsystem = 0;
    std::string manifest;
    ASSERT_TRUE(ReadProgramImage(BinPath(L"TarnwickAgent.exe"), subsystem, manifest));
    EXPECT_EQ(subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}
