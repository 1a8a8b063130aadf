#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <atomic>

#include "platform/end_signals.h"

namespace palvimo {
namespace {

std::atomic<int> Earlier_Handler_Calls{0};
void Earlier_Handler(int) { ++Earlier_Handler_Calls; }

bool Readable(int fd) {
  pollfd watched{fd, POLLIN, 0};
  return poll(&watched, 1, 0) == 1 && (watched.revents & POLLIN);
}

TEST(End_Signals_Test, CatchesEachEndSignalWhileItLivesThenGivesTheHandlerBack) {
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    struct sigaction earlier {};
    earlier.sa_handler = &Earlier_Handler;
    sigemptyset(&earlier.sa_mask);
    struct sigaction before {};
    ASSERT_EQ(sigaction(signal_number, &earlier, &before), 0);
    Earlier_Handler_Calls = 0;
    {
      End_Signals outer;
      {
        // The newest instance catches; the one beneath it sees nothing.
        End_Signals inner;
        EXPECT_FALSE(inner.Received());
        EXPECT_FALSE(Readable(inner.Notify_Fd()));
        ASSERT_EQ(raise(signal_number), 0);
        EXPECT_TRUE(inner.Received());
        EXPECT_TRUE(Readable(inner.Notify_Fd()));
        EXPECT_FALSE(outer.Received());
      }
      ASSERT_EQ(raise(signal_number), 0);
      EXPECT_TRUE(outer.Received());
      EXPECT_EQ(Earlier_Handler_Calls, 0);
    }
    ASSERT_EQ(raise(signal_number), 0);
    EXPECT_EQ(Earlier_Handler_Calls, 1);
    sigaction(signal_number, &before, nullptr);
  }
}

sighandler_t Handler_Of(int signal_number) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  return current.sa_handler;
}

// Signals whose default would end the program with its copy left behind end
// it as SIGTERM does; one ignored or handled by someone else stays theirs.
TEST(End_Signals_Test, EverySignalThatWouldEndTheProgramIsCaughtUnlessTakenElsewhere) {
  const int signals[] = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ};
  for (const int signal_number : signals) {
    SCOPED_TRACE(signal_number);
    ASSERT_EQ(Handler_Of(signal_number), SIG_DFL);
    {
      End_Signals catcher;
      ASSERT_NE(Handler_Of(signal_number), SIG_DFL);
      ASSERT_EQ(raise(signal_number), 0);
      EXPECT_TRUE(catcher.Received());
      EXPECT_TRUE(Readable(catcher.Notify_Fd()));
    }
    EXPECT_EQ(Handler_Of(signal_number), SIG_DFL);
  }

  struct sigaction ignored {};
  ignored.sa_handler = SIG_IGN;
  sigemptyset(&ignored.sa_mask);
  struct sigaction profiler {};
  profiler.sa_handler = &Earlier_Handler;
  sigemptyset(&profiler.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR2, &ignored, nullptr), 0);
  ASSERT_EQ(sigaction(SIGPROF, &profiler, nullptr), 0);
  Earlier_Handler_Calls = 0;
  {
    End_Signals catcher;
    ASSERT_EQ(raise(SIGUSR2), 0);
    ASSERT_EQ(raise(SIGPROF), 0);
    EXPECT_FALSE(catcher.Received());
    EXPECT_EQ(Earlier_Handler_Calls, 1);
  }
  EXPECT_EQ(Handler_Of(SIGUSR2), SIG_IGN);
  EXPECT_EQ(Handler_Of(SIGPROF), &Earlier_Handler);
  signal(SIGUSR2, SIG_DFL);
  signal(SIGPROF, SIG_DFL);
}

}  // namespace
}  // namespace palvimo
