#include "terminal/recent_speed.h"

namespace palvimo {

void Recent_Speed::Add(Clock::time_point now, std::uint64_t bytes, Clock::duration busy) {
  if (busy <= Clock::duration::zero()) return;
  probes_.push_back({now, bytes, busy});
  // The last probe stays, whatever its age, for a drive slower than Window.
  while (probes_.size() > 1 && now - probes_.front().end > Window) probes_.pop_front();
}

double Recent_Speed::Speed(Clock::time_point now) const {
  if (probes_.empty()) return 0;
  std::uint64_t bytes = 0;
  Clock::duration busy{};
  for (const Probe& probe : probes_) {
    if (now - probe.end > Window && &probe != &probes_.back()) continue;
    bytes += probe.bytes;
    busy += probe.busy;
  }
  return static_cast<double>(bytes) / std::chrono::duration<double>(busy).count();
}

}  // namespace palvimo
