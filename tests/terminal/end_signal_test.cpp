#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/temp_tree.h"
#include "terminal/program_run.h"

namespace palvimo::testing {
namespace {

using namespace std::chrono_literals;

class End_Signal_Test : public ::testing::TestWithParam<int> {};

// Whatever signal tells palvimo-check to end during a copy, the copy goes
// with it, as for an interrupt.
TEST_P(End_Signal_Test, SignalDuringALargeCopyRemovesIt) {
  const Temp_Tree tree;
  const Temp_Tree home;
  // Sparse: reading it costs little, but its copy is written out in full.
  const std::string big = tree.Write_File("big.bin", "");
  std::filesystem::resize_file(big, std::uintmax_t{3} << 30);
  Program_Run run({.arguments = {PALVIMO_CHECK_PROGRAM, "-d", "0", tree.Root()},
                   .environment = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "HOME=" + home.Root(),
                    "XDG_STATE_HOME=" + home.Path("state")}});
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  while (!std::filesystem::exists(big + ".PVF") && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(std::filesystem::exists(big + ".PVF")) << "the copy never began";
  run.Signal(GetParam());
  const int status = run.Wait();
  // Ended by the signal, with no drive fault found: 128 and its number,
  // after the summary.
  EXPECT_EQ(status, 128 + GetParam()) << run.Err();
  EXPECT_EQ(tree.Files_Ending_In(".PVF"), std::vector<std::string>{});
  EXPECT_FALSE(run.Out().empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, End_Signal_Test, ::testing::Values(SIGUSR1, SIGUSR2, SIGALRM),
                         [](const ::testing::TestParamInfo<int>& which) {
                           return std::string(sigabbrev_np(which.param));
                         });

}  // namespace
}  // namespace palvimo::testing
