#include "engine/distinct_count.h"

#include <utility>

namespace palvimo {

namespace {

constexpr std::size_t First_Slots = 64;

}  // namespace

bool Distinct_Count::Add(std::uint64_t fingerprint) {
  if (fingerprint == 0 ? holds_zero_ : !slots_.empty() && slots_[Slot_Of(fingerprint)] == fingerprint) return false;
  // Full: what is kept is still recognised, a new fingerprint only noted.
  if (count_ == Most_Kept) {
    complete_ = false;
    return false;
  }
  ++count_;
  if (fingerprint == 0) {
    holds_zero_ = true;
    return true;
  }
  if (count_ * 2 > slots_.size()) Grow();
  slots_[Slot_Of(fingerprint)] = fingerprint;
  return true;
}

// The fingerprint's slot, or the free one where it would go. The
// fingerprints are XXH3 sums, whose low bits are as good as any: they index
// the table as they are.
std::size_t Distinct_Count::Slot_Of(std::uint64_t fingerprint) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = static_cast<std::size_t>(fingerprint) & mask;
  while (slots_[at] != 0 && slots_[at] != fingerprint) at = (at + 1) & mask;
  return at;
}

void Distinct_Count::Grow() {
  const std::vector<std::uint64_t> old =
      std::exchange(slots_, std::vector<std::uint64_t>(slots_.empty() ? First_Slots : slots_.size() * 2, 0));
  for (const std::uint64_t fingerprint : old) {
    if (fingerprint != 0) slots_[Slot_Of(fingerprint)] = fingerprint;
  }
}

}  // namespace palvimo
