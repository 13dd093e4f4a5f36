// Every program we ship carries the version the build was configured with
// (TW_VERSION), as Explorer's file properties and inventory tools read it.
#include "tests/support/narrow_text.h"
#include "tests/support/program_image.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <string>

TEST(VersionResource, EveryShippedProgramCarriesTheConfiguredVersion)
{
    const std::string configured = TW_EXPECTED_VERSION;
    const DWORD versionMS = (DWORD{TW_EXPECTED_MAJOR} << 16) | DWORD{TW_EXPECTED_MINOR};
    const DWORD versionLS = DWORD{TW_EXPECTED_PATCH} << 16;

    for (const wchar_t* program : {L"TarnwickSvc.exe", L"TarnwickAgent.exe", L"TarnwickCtl.exe"}) {
        SCOPED_TRACE(Narrow(program));
        const VersionResource version = ReadVersionResource(BinPath(program));
        ASSERT_TRUE(version.present);
        EXPECT_EQ(version.fixed.dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(version.fixed.dwFileVersionMS, versionMS);
        EXPECT_EQ(version.fixed.dwFileVersionLS, versionLS);
        EXPECT_EQ(version.fixed.dwProductVersionMS, versionMS);
        EXPECT_EQ(version.fixed.dwProductVersionLS, versionLS);
        EXPECT_EQ(version.fixed.dwFileType, DWORD{VFT_APP});
        EXPECT_EQ(Narrow(version.fileVersion), configured);
        EXPECT_EQ(Narrow(version.productVersion), configured);
        EXPECT_EQ(Narrow(version.productName), "Tarnwick");
        EXPECT_EQ(Narrow(version.originalFilename), Narrow(program));
        EXPECT_FALSE(version.fileDescription.empty());
    }
}
