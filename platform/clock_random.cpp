#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>

#include "platform/runtime.h"

namespace palvimo {
namespace {

class Clock_Random final : public Random_Source {
 public:
  Clock_Random() { Reseed(); }

  // The top 24 bits of a draw scaled by 2^-24: every value is exact in
  // single precision, so the largest is 1 - 2^-24 and never rounds up to 1.
  float Next() override { return static_cast<float>(generator_() >> 8) * 0x1p-24f; }

  // The clock alone could repeat within one tick; the count of reseeds in
  // this process makes every seed differ.
  void Reseed() override {
    static std::atomic<std::uint64_t> reseeds{0};
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    const std::uint64_t count = reseeds.fetch_add(1);
    std::seed_seq seed{Low_Half(ticks), High_Half(ticks), Low_Half(count), High_Half(count)};
    generator_.seed(seed);
  }

 private:
  static std::uint32_t Low_Half(std::uint64_t value) { return static_cast<std::uint32_t>(value); }
  static std::uint32_t High_Half(std::uint64_t value) {
    return static_cast<std::uint32_t>(value >> 32);
  }

  std::mt19937 generator_;
};

}  // namespace

std::unique_ptr<Random_Source> Make_Clock_Random() {
  return std::make_unique<Clock_Random>();
}

}  // namespace palvimo
