// Summaries of measured samples for the benchmark tables.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// The nearest-rank percentile (0 < p <= 100) of the samples; 0 for none.
inline double Percentile(std::vector<double> samples, double p)
{
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    size_t rank = static_cast<size_t>(p / 100.0 * static_cast<double>(samples.size()) + 0.999999);
    rank = std::max<size_t>(1, std::min(rank, samples.size()));
    return samples[rank - 1];
}

inline double Median(const std::vector<double>& samples)
{
    return Percentile(samples, 50);
}

// One row of the printed Markdown table: | figure | value |
inline void PrintRow(const std::string& figure, const std::string& value)
{
    std::printf("| %s | %s |\n", figure.c_str(), value.c_str());
    std::fflush(stdout);
}

inline std::string Format(const char* format, double a, double b = 0, double c = 0)
{
    char text[200];
    std::snprintf(text, sizeof(text), format, a, b, c);
    return text;
}
