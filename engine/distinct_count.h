#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace palvimo {

// Counts distinct 64-bit fingerprints (Path_Hash, Entry_Hash) in 16 bytes
// or less for each, so that a run can say how many files it covered without
// keeping their names. Exact up to Most_Kept fingerprints; past that new ones
// are no longer kept or counted, and Complete() turns false: the count is then
// a lower bound, and memory stays at its bound however long the run.
class Distinct_Count {
 public:
  static constexpr std::size_t Most_Kept = std::size_t{1} << 21;

  // Adds `fingerprint`; true when it is counted for the first time.
  bool Add(std::uint64_t fingerprint);
  std::uint64_t Count() const { return count_; }
  // Whether every fingerprint added was counted.
  bool Complete() const { return complete_; }

 private:
  std::size_t Slot_Of(std::uint64_t fingerprint) const;
  void Grow();

  // Open addressing, at most half full; 0 marks a free slot, and the
  // fingerprint 0 is kept apart.
  std::vector<std::uint64_t> slots_;
  bool holds_zero_ = false;
  std::uint64_t count_ = 0;
  bool complete_ = true;
};

}  // namespace palvimo
