#include "terminal/recent_speed.h"

#include <gtest/gtest.h>

namespace palvimo {
namespace {

using namespace std::chrono_literals;

// The shown speed is the drive's over the last seconds: one small, quick
// probe among large ones moves it little, and a probe older than the window
// no longer counts once a newer one came.
TEST(Recent_Speed, AveragesTheLastSecondsAndForgetsOlderProbes) {
  Recent_Speed speed;
  const Recent_Speed::Clock::time_point start{};
  EXPECT_EQ(speed.Speed(start), 0);
  speed.Add(start + 1s, 100'000'000, 1s);
  speed.Add(start + 2s, 100'000'000, 1s);
  // 4 kB in a microsecond alone would read as 4 GB/s.
  speed.Add(start + 2s + 1ms, 4'000, 1us);
  EXPECT_NEAR(speed.Speed(start + 3s), 100e6, 1e6);
  // Long after, a slow probe alone makes the speed; the old ones are gone.
  speed.Add(start + 60s, 10'000'000, 1s);
  EXPECT_DOUBLE_EQ(speed.Speed(start + 61s), 10e6);
  // With nothing newer, the last probe still says how fast the drive was.
  EXPECT_DOUBLE_EQ(speed.Speed(start + 600s), 10e6);
  // A probe that moved nothing in no time changes nothing.
  speed.Add(start + 601s, 0, 0s);
  EXPECT_DOUBLE_EQ(speed.Speed(start + 601s), 10e6);
}

}  // namespace
}  // namespace palvimo
