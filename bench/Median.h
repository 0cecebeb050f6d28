#pragma once

#include <algorithm>
#include <vector>

// The middle value of the rounds, which one slow round (a page fault, a scheduling hiccup) does not move.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}
