#pragma once

#include <condition_variable>
#include <mutex>

namespace palvimo::testing {

// A drive that answers when it is let: whatever waits at the gate waits
// until the test opens it.
struct Gate {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;

  void Wait() {
    std::unique_lock lock(mutex);
    opened.wait(lock, [this] { return open; });
  }
  void Open() {
    const std::lock_guard lock(mutex);
    open = true;
    opened.notify_all();
  }
};

}  // namespace palvimo::testing
