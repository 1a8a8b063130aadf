#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/runtime.h"
#include "tests/platform/counting_event_pump.h"

namespace palvimo {
namespace {

using testing::Counting_Event_Pump;
using Clock = std::chrono::steady_clock;

TEST(Pause_Test, LongPauseLastsItsLengthAndKeepsTheWindowAlive) {
  Counting_Event_Pump events;
  const auto pauser = Make_Pauser(events);
  const auto start = Clock::now();
  pauser->Pause(600);

  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(600));
  // Slices of at most 50 ms: no more than one call per slice, and a few at
  // least even on a loaded machine.
  EXPECT_GE(events.Keep_Alives(), 2);
  EXPECT_LE(events.Keep_Alives(), 11);
  EXPECT_EQ(events.Event_Runs(), 0);
}

TEST(Pause_Test, PauseEndsAtTheFirstKeepAliveOnceTheProgramIsEnding) {
  Counting_Event_Pump events;
  events.Ending = true;
  Make_Pauser(events)->Pause(60'000);
  EXPECT_EQ(events.Keep_Alives(), 1);
}

TEST(Pause_Test, ZeroPauseReturnsAtOnce) {
  Counting_Event_Pump events;
  const auto start = Clock::now();
  Make_Pauser(events)->Pause(0);

  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(20));
  EXPECT_EQ(events.Keep_Alives(), 0);
}

TEST(Random_Test, DrawsAreUniformInTheHalfOpenUnitInterval) {
  const auto random = Make_Clock_Random();
  constexpr int Draws = 100'000;
  int below_tenth = 0;
  double sum = 0;
  for (int i = 0; i < Draws; ++i) {
    const float draw = random->Next();
    ASSERT_GE(draw, 0.0f);
    ASSERT_LT(draw, 1.0f);
    below_tenth += draw < 0.1f;
    sum += draw;
  }
  EXPECT_NEAR(sum / Draws, 0.5, 0.01);
  EXPECT_NEAR(static_cast<double>(below_tenth) / Draws, 0.1, 0.005);
}

std::vector<float> Draw_Eight(Random_Source& random) {
  std::vector<float> draws(8);
  for (auto& draw : draws) draw = random.Next();
  return draws;
}

TEST(Random_Test, EveryReseedStartsAnotherSequence) {
  const auto first = Make_Clock_Random();
  const auto second = Make_Clock_Random();
  first->Reseed();
  second->Reseed();
  const auto first_draws = Draw_Eight(*first);
  EXPECT_NE(first_draws, Draw_Eight(*second));

  first->Reseed();
  EXPECT_NE(first_draws, Draw_Eight(*first));
}

}  // namespace
}  // namespace palvimo
