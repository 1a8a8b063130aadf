#pragma once

#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

#include "platform/runtime.h"

namespace palvimo {

// The one thread on which the probe's blocking file work runs (open, read,
// write, flush, delete), so that the window's thread stays free to answer
// however long a drive takes. The window's thread hands over one job at a
// time and waits for it, keeping the window alive meanwhile; the job learns
// through its stop token that the program is ending.
class Io_Worker {
 public:
  using Job = std::function<void(std::stop_token)>;

  explicit Io_Worker(Event_Pump& events);
  Io_Worker(const Io_Worker&) = delete;
  Io_Worker& operator=(const Io_Worker&) = delete;
  // Waits for the worker to finish, or lets go of one stuck in a call that
  // the drive stalls: the process may end without it.
  ~Io_Worker();

  // Runs `job` on the worker and waits for it, keeping the window alive, and
  // rethrows what it threw. When the program ends meanwhile, asks the job to
  // stop and waits only a moment more: false then, and a job that has not
  // finished runs on alone, so it must hold nothing of the caller's but what
  // it shares by ownership.
  [[nodiscard]] bool Run(Job job);

 private:
  struct Channel;
  static void Serve(Channel& channel);

  Event_Pump& events_;
  std::shared_ptr<Channel> channel_;
  bool stuck_ = false;
  std::thread thread_;
};

// Keeps every signal off the calling thread: signals are the window's
// thread's to handle, and a call on the drive is never interrupted by them.
void Block_Signals_Here();

}  // namespace palvimo
