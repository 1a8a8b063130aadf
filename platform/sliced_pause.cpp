#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/keep_alive.h"
#include "platform/runtime.h"

namespace palvimo {
namespace {

// Sleeps in slices against one deadline, so that the window is kept alive
// during a long pause and oversleeping a slice does not lengthen the whole.
class Sliced_Pause final : public Pauser {
 public:
  explicit Sliced_Pause(Event_Pump& events) : events_(events) {}

  void Pause(std::uint32_t milliseconds) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto now = Clock::now(); now < deadline;) {
      std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, Keep_Alive_Interval));
      now = Clock::now();
      // A program that is ending waits no longer: the probe goes on to delete
      // its copy, and the walk unwinds at its next event run.
      if (now < deadline && !events_.Keep_Alive()) return;
    }
  }

 private:
  Event_Pump& events_;
};

}  // namespace

std::unique_ptr<Pauser> Make_Pauser(Event_Pump& events) {
  return std::make_unique<Sliced_Pause>(events);
}

}  // namespace palvimo
