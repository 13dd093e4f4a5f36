// The clock the benchmarks measure with: the performance counter, which is
// one clock for all processes of the machine.
#pragma once

#include <windows.h>

inline LONGLONG Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// A span of counter ticks in milliseconds.
inline double Milliseconds(LONGLONG ticks)
{
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    return static_cast<double>(ticks) * 1000.0 / frequency;
}
