#include "service/stop_timing.h"

std::uint32_t StopPendingPause(std::uint32_t waitHint)
{
    const std::uint32_t pause = waitHint / 10;
    if (pause < 1000) {
        return 1000;
    }
    if (pause > 10000) {
        return 10000;
    }
    return pause;
}

bool TimeLimitPassed(std::uint32_t start, std::uint32_t now, std::uint32_t limit)
{
    return static_cast<std::uint32_t>(now - start) > limit;
}
