#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

namespace palvimo {

// The drive's speed over the last few seconds of probes: the bytes they
// moved over the time they spent moving them. One small file or one slow
// flush moves it a little, not from one end of the scale to the other.
class Recent_Speed {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds Window{5};

  // A probe that ended at `now` and moved `bytes` in `busy` time.
  void Add(Clock::time_point now, std::uint64_t bytes, Clock::duration busy);
  // Bytes a second over the probes that ended within Window of `now`; the
  // last probe's alone when none did; 0 before any probe was timed.
  double Speed(Clock::time_point now) const;

 private:
  struct Probe {
    Clock::time_point end;
    std::uint64_t bytes = 0;
    Clock::duration busy{};
  };
  std::deque<Probe> probes_;
};

}  // namespace palvimo
