#include "engine/delay_text.h"

#include <algorithm>
#include <limits>

namespace palvimo {

namespace {

bool Is_Blank(char c) { return c == ' ' || c == '\t'; }
bool Is_Digit(char c) { return c >= '0' && c <= '9'; }

// Whole-number part, saturated just past the largest value a delay may have,
// so that a long run of digits cannot overflow.
constexpr std::uint64_t Beyond_Range = std::uint64_t{std::numeric_limits<std::int32_t>::max()} + 2;

}  // namespace

std::optional<std::uint32_t> Parse_Delay(std::string_view text) {
  while (!text.empty() && Is_Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Is_Blank(text.back())) text.remove_suffix(1);

  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  const auto digits_end = std::find_if_not(text.begin(), text.end(), Is_Digit);
  if (digits_end == text.begin()) return std::nullopt;
  std::uint64_t whole = 0;
  for (auto it = text.begin(); it != digits_end; ++it) {
    whole = std::min(Beyond_Range, whole * 10 + static_cast<std::uint64_t>(*it - '0'));
  }

  std::string_view fraction = text.substr(static_cast<std::size_t>(digits_end - text.begin()));
  if (!fraction.empty()) {
    if (fraction.front() != '.') return std::nullopt;
    fraction.remove_prefix(1);
    if (fraction.empty() || !std::all_of(fraction.begin(), fraction.end(), Is_Digit)) return std::nullopt;
  }

  // Round on the digits themselves, so that no binary fraction blurs a half.
  if (!fraction.empty() && fraction.front() >= '5') {
    const bool exactly_half = fraction.front() == '5' &&
                              std::all_of(fraction.begin() + 1, fraction.end(), [](char c) { return c == '0'; });
    if (!exactly_half || whole % 2 == 1) ++whole;
  }

  if (whole == 0) return 0;
  if (negative || whole > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(whole);
}

}  // namespace palvimo
