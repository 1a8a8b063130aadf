#pragma once

#include <signal.h>

#include <array>
#include <atomic>

#include "platform/unique_fd.h"

namespace palvimo {

// Catches the requests to end the program that come as signals for as long
// as it lives, and gives back the handlers it found when it is destroyed:
// SIGTERM, SIGINT and SIGHUP always, and every other signal that would end
// the program (SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, timers' and limits'
// signals...) while nothing else handles or ignores it, so that however the
// program is told to end, it ends as for SIGTERM, its copy removed. SIGPIPE
// is left alone: a closed output is an error of the write, said as such.
// The handler only records the signal: Received() says so at once, and
// Notify_Fd() becomes readable, for an event loop to watch. Instances nest: the newest catches the signals until it is
// destroyed, and must be destroyed before the ones made earlier.
class End_Signals {
 public:
  // Throws Check_Error when the notification pipe cannot be made.
  End_Signals();
  End_Signals(const End_Signals&) = delete;
  End_Signals& operator=(const End_Signals&) = delete;
  ~End_Signals();

  // True once one of the signals arrived while this instance was catching.
  bool Received() const { return received_.load(); }
  // The first of the signals that arrived; 0 before any did.
  int Signal() const { return signal_.load(); }
  // Readable once a signal has arrived; never read from by this class.
  int Notify_Fd() const { return read_end_.Get(); }

 private:
  explicit End_Signals(const std::array<int, 2>& pipe_ends);
  static void Handle(int signal_number);

  static constexpr std::array Always_Caught = {SIGTERM, SIGINT, SIGHUP};
  static constexpr std::array Caught_When_Default = {
      SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ,
#ifdef __linux__
      SIGPOLL, SIGPWR, SIGSTKFLT,
#endif
  };
  static constexpr std::size_t Caught_Count = Always_Caught.size() + Caught_When_Default.size();

  std::atomic<bool> received_{false};
  std::atomic<int> signal_{0};
  Unique_Fd read_end_;
  Unique_Fd write_end_;
  End_Signals* previous_catcher_ = nullptr;
  // The signals taken over, and the actions they had before.
  std::array<int, Caught_Count> taken_{};
  std::size_t taken_count_ = 0;
  std::array<struct sigaction, Caught_Count> previous_actions_{};
};

}  // namespace palvimo
