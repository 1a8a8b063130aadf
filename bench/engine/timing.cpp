#include "timing.h"

#include <algorithm>
#include <stdexcept>

namespace palvimo::bench {

double Seconds_Between(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double>(end - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) throw std::invalid_argument("no timings to take the median of");
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  if (values.size() % 2 == 1) return values[middle];
  return (values[middle - 1] + values[middle]) / 2;
}

}  // namespace palvimo::bench
