// The timing of a service stop from the command line: the limit and the
// pauses between status queries. Needs no Windows header.
#pragma once

#include <cstdint>

// Each stop, of the service and of its dependants, has this limit.
constexpr std::uint32_t kStopLimitMs = 30000;

// Pause between status queries while a stop that someone else requested is
// pending: a tenth of the wait hint, at least 1000 ms and at most 10000 ms.
std::uint32_t StopPendingPause(std::uint32_t waitHint);

// True when more than `limit` ms have passed from `start` to `now`, tick
// counts that may have wrapped in between.
bool TimeLimitPassed(std::uint32_t start, std::uint32_t now, std::uint32_t limit);
