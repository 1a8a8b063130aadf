#include "platform/end_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/check_error.h"

namespace palvimo {
namespace {

// What the handler may touch: lock-free atomics only.
std::atomic<End_Signals*> Catcher{nullptr};
static_assert(std::atomic<End_Signals*>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
              std::atomic<int>::is_always_lock_free);

// A pipe whose ends programs started from this one do not inherit, and
// whose full buffer never blocks the handler: a byte is waiting already,
// which is all a reader needs.
std::array<int, 2> Make_Pipe() {
  std::array<int, 2> ends{};
  if (pipe(ends.data()) != 0) throw Error_From_Errno("the end-signal pipe", errno);
  for (const int end : ends) {
    if (fcntl(end, F_SETFD, fcntl(end, F_GETFD) | FD_CLOEXEC) != 0 ||
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK) != 0) {
      const int error = errno;
      for (const int opened : ends) close(opened);
      throw Error_From_Errno("the end-signal pipe", error);
    }
  }
  return ends;
}

}  // namespace

End_Signals::End_Signals() : End_Signals(Make_Pipe()) {}

End_Signals::End_Signals(const std::array<int, 2>& pipe_ends) : read_end_(pipe_ends[0]), write_end_(pipe_ends[1]) {
  previous_catcher_ = Catcher.exchange(this);
  struct sigaction action {};
  action.sa_handler = &End_Signals::Handle;
  sigemptyset(&action.sa_mask);
  // Restarted calls: the rest of the program never sees EINTR on their account.
  action.sa_flags = SA_RESTART;
  const auto take = [&](int signal_number) {
    if (sigaction(signal_number, &action, &previous_actions_[taken_count_]) == 0)
      taken_[taken_count_++] = signal_number;
  };
  for (const int signal_number : Always_Caught) take(signal_number);
  // A signal someone else handles is theirs (a profiler's timer), and one
  // ignored was meant not to end the program; only the default, ending it
  // with the copy left behind, is replaced.
  for (const int signal_number : Caught_When_Default) {
    struct sigaction current {};
    if (sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
        (current.sa_flags & SA_SIGINFO) == 0)
      take(signal_number);
  }
}

End_Signals::~End_Signals() {
  for (std::size_t i = taken_count_; i-- > 0;) sigaction(taken_[i], &previous_actions_[i], nullptr);
  Catcher.store(previous_catcher_);
}

void End_Signals::Handle(int signal_number) {
  const int saved_errno = errno;
  if (End_Signals* catcher = Catcher.load()) {
    int none = 0;
    catcher->signal_.compare_exchange_strong(none, signal_number);
    catcher->received_.store(true);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(catcher->write_end_.Get(), &byte, 1);
  }
  errno = saved_errno;
}

}  // namespace palvimo
