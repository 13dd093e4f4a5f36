#include "service/stop_timing.h"

#include <gtest/gtest.h>

TEST(StopPendingPause, IsATenthOfTheHintClampedToOneAndTenSeconds)
{
    const std::uint32_t cases[][2] = {
        {0, 1000}, {5000, 1000}, {9999, 1000}, {10000, 1000}, {15000, 1500},
        {100000, 10000}, {200000, 10000}, {0xFFFFFFFFu, 10000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StopPendingPause(c[0]), c[1]) << "hint " << c[0];
    }
}

TEST(TimeLimitPassed, MeasuresUnsignedDifferencesAcrossAWrap)
{
    EXPECT_FALSE(TimeLimitPassed(1000, 31000, 30000));  // exactly the limit
    EXPECT_TRUE(TimeLimitPassed(1000, 31001, 30000));
    EXPECT_FALSE(TimeLimitPassed(0xFFFFF000u, 0x00001000u, 30000));  // wrapped, 8192 ms
    EXPECT_TRUE(TimeLimitPassed(0xFFFFF000u, 0x00008000u, 30000));   // wrapped, 36864 ms
}
