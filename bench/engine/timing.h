#pragma once

#include <chrono>
#include <vector>

namespace palvimo::bench {

using Clock = std::chrono::steady_clock;

double Seconds_Between(Clock::time_point start, Clock::time_point end);

// The middle value, or the mean of the two middle ones for an even count.
// Throws std::invalid_argument for no values.
double Median(std::vector<double> values);

}  // namespace palvimo::bench
