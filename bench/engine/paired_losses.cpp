#include "paired_losses.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <stdexcept>

namespace palvimo::bench {

namespace {

constexpr double Trimmed_Share = 0.2;

// The value below which `share` of the sorted `values` lie, between the
// two nearest.
double Quantile(const std::vector<double>& sorted, double share) {
  const double at = share * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(at);
  const std::size_t above = std::min(below + 1, sorted.size() - 1);
  return sorted[below] + (at - static_cast<double>(below)) * (sorted[above] - sorted[below]);
}

// Student's t at 97.5 % for `freedom` degrees of freedom, near enough for
// the counts of pairs taken here (Cornish-Fisher's first terms).
double T_975(double freedom) {
  constexpr double z = 1.959964;
  return z + (z * z * z + z) / (4 * freedom) + (5 * std::pow(z, 5) + 16 * z * z * z + 3 * z) / (96 * freedom * freedom);
}

}  // namespace

Loss_Summary Summarize_Losses(std::vector<double> losses) {
  if (losses.size() < 5) throw std::invalid_argument("too few pairs to say what a cost is");
  std::sort(losses.begin(), losses.end());
  const std::size_t count = losses.size();
  const auto trimmed = static_cast<std::size_t>(std::floor(Trimmed_Share * static_cast<double>(count)));
  const std::size_t kept = count - 2 * trimmed;
  const auto first = losses.begin() + static_cast<std::ptrdiff_t>(trimmed);
  const double mean = std::accumulate(first, first + static_cast<std::ptrdiff_t>(kept), 0.0) / static_cast<double>(kept);
  // The trimmed values given the nearest kept one's value (winsorized)
  // measure the spread the trimmed mean's error follows.
  std::vector<double> winsorized = losses;
  std::fill(winsorized.begin(), winsorized.begin() + static_cast<std::ptrdiff_t>(trimmed), *first);
  std::fill(winsorized.end() - static_cast<std::ptrdiff_t>(trimmed), winsorized.end(),
            losses[count - trimmed - 1]);
  const double winsorized_mean = std::accumulate(winsorized.begin(), winsorized.end(), 0.0) / static_cast<double>(count);
  double squares = 0;
  for (const double value : winsorized) squares += (value - winsorized_mean) * (value - winsorized_mean);
  const double error = std::sqrt(squares / static_cast<double>(kept * (kept - 1)));
  const double reach = T_975(static_cast<double>(kept - 1)) * error;
  return {mean, mean - reach, mean + reach, Quantile(losses, 0.75) - Quantile(losses, 0.25)};
}

void Print_Loss_Summary(const std::string& name, const Loss_Summary& summary) {
  std::printf("%s: %.2f\n%s_iqr: %.2f\n%s_95_low: %.2f\n%s_95_high: %.2f\n", name.c_str(), summary.loss, name.c_str(),
              summary.spread, name.c_str(), summary.low, name.c_str(), summary.high);
}

}  // namespace palvimo::bench
