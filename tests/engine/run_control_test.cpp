#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "check_fixture.h"

namespace palvimo::testing {
namespace {

const std::set<Input> All_Inputs = {Input::Delay_Text, Input::Ext_Text,     Input::Result_File,
                                    Input::Result_Dir, Input::Result_Drive, Input::Recurse_Check};

class Run_Control_Test : public Check_Fixture {
 protected:
  Run_Control control{state, window, services};

  void Expect_Idle() {
    EXPECT_FALSE(state.Is_Running);
    EXPECT_FALSE(state.Stop_Requested);
    EXPECT_EQ(window.Caption, "&Start");
    EXPECT_TRUE(window.Locked.empty());
  }
  // The n-th event run clicks Start_Button, nested, as the window would.
  void Click_At(int run) {
    pump.At(run, [this] { control.Start_Click(); });
  }
};

TEST_F(Run_Control_Test, StartLocksInputsAndShowsStopBeforeTheFirstProbe) {
  window.Root = tree.Root();
  const std::string file = tree.Write_File("a");
  random.Script = {0.0f};
  pump.At(1, [&] {
    EXPECT_EQ(window.Locked, All_Inputs);
    EXPECT_EQ(window.Caption, "S&top");
    EXPECT_TRUE(state.Is_Running);
    control.Start_Click();
  });
  control.Start_Click();

  const Call_Log expected = {"lock Delay_Text",     "lock Ext_Text",      "lock Result_File",
                             "lock Result_Dir",     "lock Result_Drive",  "lock Recurse_Check",
                             "caption S&top",       "reseed",             "folder " + tree.Root(),
                             "status " + file,      "events",
                             // The stopping click, nested in the event run.
                             "caption &Start",      "unlock Delay_Text",  "unlock Ext_Text",
                             "unlock Recurse_Check", "unlock Result_File", "unlock Result_Dir",
                             "unlock Result_Drive",
                             // The probe that the stop let complete, counted from the reset.
                             "pause 0",             "count 1",            "events",
                             // The outer click ends the run and says what it found.
                             "verdict",             "caption &Start",      "unlock Delay_Text",  "unlock Ext_Text",
                             "unlock Recurse_Check", "unlock Result_File", "unlock Result_Dir",
                             "unlock Result_Drive"};
  EXPECT_EQ(log, expected);
  Expect_Idle();
  EXPECT_EQ(window.Count, "1");
}

// The stopping click sets the count back to 0, so the probe it lets complete
// shows 1 although one was probed before it; the count is kept after the run.
TEST_F(Run_Control_Test, StopResetsTheCountAndCountValKeepsItsLastValue) {
  window.Root = tree.Root();
  tree.Write_File("a");
  tree.Write_File("b");
  random.Script = {0.0f, 0.0f};
  Click_At(3);  // before the second probe
  control.Start_Click();
  EXPECT_EQ(Count_In_Log("count 1"), 2);
  EXPECT_EQ(window.Count, "1");
  EXPECT_EQ(state.File_Count, 1);
  Expect_Idle();
}

TEST_F(Run_Control_Test, DoubleClickCancelsTheStopAndTheRunGoesOnUnlocked) {
  window.Root = tree.Root();
  tree.Write_File("a");
  random.Script = {0.0f};  // then nothing is picked
  pump.At(1, [&] {
    control.Start_Click();
    EXPECT_TRUE(state.Stop_Requested);
    control.Start_Click();
    EXPECT_FALSE(state.Stop_Requested);
    EXPECT_FALSE(state.Is_Running);
    EXPECT_EQ(window.Caption, "&Start");
    EXPECT_TRUE(window.Locked.empty());
  });
  // Pass 2 picks nothing and runs events once at its end.
  pump.At(3, [&] {
    EXPECT_EQ(window.Caption, "S&top");
    EXPECT_TRUE(state.Is_Running);
    EXPECT_TRUE(window.Locked.empty());
    control.Start_Click();
  });
  control.Start_Click();
  EXPECT_EQ(random.Reseeds, 2);
  EXPECT_EQ(pump.Runs(), 3);
  Expect_Idle();
}

// After a cancelled stop, a click in the same pass starts a second run nested
// in the first, on the folder then shown; when it stops, the first goes on.
TEST_F(Run_Control_Test, ClickAfterACancelledStopRunsASecondRunNestedInTheFirst) {
  window.Root = tree.Make_Dir("first");
  tree.Write_File("first/f1");
  const std::string second_file = tree.Write_File("second/f2");
  random.Script = {0.0f, 0.0f};
  pump.At(1, [&] {
    control.Start_Click();
    control.Start_Click();
  });
  pump.At(2, [&] {
    window.Root = tree.Path("second");
    control.Start_Click();
  });
  pump.At(3, [&] {
    EXPECT_TRUE(state.Is_Running);
    EXPECT_EQ(window.Locked, All_Inputs);
    control.Start_Click();  // stops the nested run
  });
  pump.At(5, [&] {
    EXPECT_EQ(window.Caption, "S&top");  // the first run's second pass
    control.Start_Click();
  });
  control.Start_Click();
  EXPECT_EQ(random.Reseeds, 3);
  EXPECT_EQ(window.Status, second_file);
  EXPECT_EQ(pump.Runs(), 5);
  EXPECT_TRUE(Copies_Left().empty());
  Expect_Idle();
}

// A pass that picks nothing still runs events once, so even a run over an
// empty folder can be stopped; one with nothing at all to draw for waits for
// the window instead of spinning.
TEST_F(Run_Control_Test, EveryPassRunsEventsSoAnEmptyRootCanBeStopped) {
  window.Root = tree.Root();
  Click_At(4);
  control.Start_Click();
  EXPECT_EQ(random.Reseeds, 4);
  EXPECT_EQ(Count_In_Log("wait"), 4);
  Expect_Idle();
}

// A root that cannot be opened, or opens but cannot be read, ends the run.
TEST_F(Run_Control_Test, UnreachableRootEndsTheRunAndSaysWhy) {
  const std::string unreadable = tree.Make_Dir("unreadable");
  files.Files_Fail_After[unreadable] = 0;
  for (const std::string& root : {tree.Path("vanished"), unreadable}) {
    random.Reseeds = 0;
    window.Root = root;
    control.Start_Click();
    Expect_Idle();
    EXPECT_EQ(random.Reseeds, 1);
    EXPECT_NE(window.Verdict.find(window.Root), std::string::npos);
    EXPECT_EQ(window.Verdict.find('\n'), std::string::npos);
  }
}

// However the run ends, even by a failing event run, and however the click
// comes, even while stopping with an extension that could start nothing, the
// window follows the run's states and is left idle.
// The root is swapped for a link to a folder outside the tree between two
// passes: the run walks on from the folder it opened, never through the link.
TEST_F(Run_Control_Test, RootSwappedForALinkBetweenPassesIsNotFollowed) {
  const std::string root = tree.Make_Dir("root");
  tree.Write_File("root/a");
  tree.Write_File("outside/b");
  window.Root = root;
  random.Script = {0.0f, 0.0f};
  pump.At(2, [&] {
    std::filesystem::rename(root, tree.Path("root.old"));
    std::filesystem::create_directory_symlink(tree.Path("outside"), root);
  });
  Click_At(3);
  control.Start_Click();
  EXPECT_EQ(Count_In_Log("status " + root + "/a"), 2);
  EXPECT_EQ(Count_In_Log("status " + root + "/b"), 0);
  EXPECT_EQ(state.File_Count, 1);
  EXPECT_TRUE(Copies_Left().empty());
  Expect_Idle();
}

TEST_F(Run_Control_Test, RunEndsIdleEvenWhenAnEventRunFails) {
  window.Root = tree.Root();
  pump.At(1, [&] {
    control.Start_Click();  // stop
    window.Extension = "";
    control.Start_Click();  // cancels the stop all the same
    EXPECT_FALSE(state.Stop_Requested);
  });
  pump.At(2, [] { throw std::runtime_error("a handler failed"); });
  EXPECT_THROW(control.Start_Click(), std::runtime_error);
  EXPECT_EQ(random.Reseeds, 2);
  Expect_Idle();
}

// A failure that no folder guard catches ends only its pass.
TEST_F(Run_Control_Test, FailureThatNoGuardCatchesEndsOnlyThePass) {
  window.Root = tree.Root();
  tree.Write_File("f");
  tree.Write_File("sub/a");
  tree.Write_File("sub/b");
  files.Files_Fail_After[tree.Path("sub")] = 1;
  random.Script = {0.0f, 0.0f, 0.0f};
  // Pass 1: f probed (runs 1, 2), sub entered (3), its first file probed (4,
  // 5), then its listing fails. Pass 2 picks nothing: sub's event run is 6.
  Click_At(6);
  control.Start_Click();
  EXPECT_EQ(random.Reseeds, 2);
  EXPECT_EQ(window.Status.rfind(tree.Root(), 0), 0u);
  Expect_Idle();
}

TEST_F(Run_Control_Test, UnsafeExtensionStartsNothing) {
  window.Root = tree.Root();
  const std::string file = tree.Write_File("a", "kept");
  for (const std::string& extension : {std::string(), std::string("/x"), std::string(".a\0b", 4)}) {
    log.clear();
    window.Extension = extension;
    window.Status.clear();
    control.Start_Click();
    EXPECT_FALSE(window.Status.empty()) << "extension '" << extension << "'";
    EXPECT_EQ(log, Call_Log{"status " + window.Status});
  }
  EXPECT_EQ(random.Reseeds, 0);
  EXPECT_EQ(Temp_Tree::Read_File(file), "kept");
  Expect_Idle();
}

TEST_F(Run_Control_Test, RecurseFollowsTheCheckBoxInAnyStateButUnchecked) {
  control.Recurse_Click(Check_Box_State::Unchecked);
  EXPECT_FALSE(state.Recurse_On);
  control.Recurse_Click(Check_Box_State::Greyed);
  EXPECT_TRUE(state.Recurse_On);
  control.Recurse_Click(Check_Box_State::Unchecked);
  control.Recurse_Click(Check_Box_State::Checked);
  EXPECT_TRUE(state.Recurse_On);
}

TEST_F(Run_Control_Test, EndingTheProgramDuringARunLeavesNoCopy) {
  window.Root = tree.Root();
  tree.Write_File("a");
  tree.Write_File("b");
  random.Script = {0.0f, 0.0f};
  pump.At(2, [&] { pump.End_Program(); });  // right after the first probe
  EXPECT_THROW(control.Start_Click(), Program_End);
  EXPECT_EQ(state.File_Count, 1);
  EXPECT_EQ(Count_In_Log("pause 0"), 1);
  EXPECT_TRUE(Copies_Left().empty());
}

// A run with the real clock-seeded generator over a small tree: files are
// probed pass after pass, each pass freshly seeded, and nothing is left.
TEST_F(Run_Control_Test, RealRunProbesAndLeavesTheTreeAsItWas) {
  std::unique_ptr<Random_Source> clock_random = Make_Clock_Random();
  Check_Services real_services{files, *copier, pauser, *clock_random, pump, failure_log};
  Run_Control real_control{state, window, real_services};
  window.Root = tree.Root();
  const auto name = [](int i) { return (i < 10 ? "f" : "sub/f") + std::to_string(i); };
  for (int i = 0; i < 20; ++i) tree.Write_File(name(i), std::to_string(i));
  pump.At(200, [&] { real_control.Start_Click(); });
  real_control.Start_Click();
  EXPECT_GT(Count_In_Log("pause 0"), 0);
  EXPECT_TRUE(Copies_Left().empty());
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(Temp_Tree::Read_File(tree.Path(name(i))), std::to_string(i));
  }
  EXPECT_FALSE(state.Is_Running);
}

}  // namespace
}  // namespace palvimo::testing
