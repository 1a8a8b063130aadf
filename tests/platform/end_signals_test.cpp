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

}  // namespace
}  // namespace palvimo
