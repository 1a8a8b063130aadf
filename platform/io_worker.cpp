#include "platform/io_worker.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "platform/keep_alive.h"

namespace palvimo {

namespace {

// How long an ending program waits for a job to notice its stop before it
// goes on without it.
constexpr std::chrono::milliseconds Stop_Grace{40};

}  // namespace

// The hand-over between the window's thread and the worker, shared by both
// so that a worker let go of still has it.
struct Io_Worker::Channel {
  std::mutex mutex;
  std::condition_variable changed;
  Job job;  // handed over and not yet taken
  std::stop_source stop;
  bool finished = false;
  std::exception_ptr failure;
  bool closing = false;
};

Io_Worker::Io_Worker(Event_Pump& events)
    : events_(events),
      channel_(std::make_shared<Channel>()),
      thread_([channel = channel_] { Serve(*channel); }) {}

Io_Worker::~Io_Worker() {
  if (stuck_) {
    thread_.detach();
    return;
  }
  {
    const std::lock_guard lock(channel_->mutex);
    channel_->closing = true;
  }
  channel_->changed.notify_all();
  thread_.join();
}

void Io_Worker::Serve(Channel& channel) {
  Block_Signals_Here();
  std::unique_lock lock(channel.mutex);
  for (;;) {
    channel.changed.wait(lock, [&] { return channel.job || channel.closing; });
    if (!channel.job) return;
    const Job job = std::exchange(channel.job, nullptr);
    const std::stop_token stop = channel.stop.get_token();
    lock.unlock();
    // Whatever the job throws is handed over to the waiting thread, which
    // rethrows it there.
    std::exception_ptr failure;
    try {
      job(stop);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    channel.failure = failure;
    channel.finished = true;
    channel.changed.notify_all();
  }
}

bool Io_Worker::Run(Job job) {
  using Clock = std::chrono::steady_clock;
  // A worker let go of belongs to a program that is ending.
  if (stuck_) return false;
  Channel& channel = *channel_;
  std::unique_lock lock(channel.mutex);
  channel.job = std::move(job);
  channel.stop = std::stop_source();
  channel.finished = false;
  channel.failure = nullptr;
  channel.changed.notify_all();

  const auto finished = [&] { return channel.finished; };
  while (!channel.changed.wait_for(lock, Keep_Alive_Interval, finished)) {
    lock.unlock();
    const bool go_on = events_.Keep_Alive();
    lock.lock();
    if (!go_on) {
      channel.stop.request_stop();
      if (!channel.changed.wait_until(lock, Clock::now() + Stop_Grace, finished)) stuck_ = true;
      return false;
    }
  }
  if (channel.failure) std::rethrow_exception(std::exchange(channel.failure, nullptr));
  return true;
}

void Block_Signals_Here() {
#ifndef _WIN32
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
#endif
}

}  // namespace palvimo
