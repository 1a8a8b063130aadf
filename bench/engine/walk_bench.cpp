#include "walk_bench.h"

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/run_control.h"
#include "platform/io_worker.h"
#include "platform/worker_file_system.h"
#include "quiet_services.h"
#include "run_command.h"
#include "timing.h"

namespace palvimo::bench {

namespace {

namespace fs = std::filesystem;

constexpr int Timed_Runs = 5;

// A window whose root is the benchmark folder and whose controls show
// nothing. Every pass begins by captioning the button "S&top", so the span
// between the first two captions is exactly the first pass; at the second the
// window asks the run to stop, and that pass ends before its first file.
class One_Pass_Window final : public Window_Ops {
 public:
  One_Pass_Window(std::string root, Run_State& state) : root_(std::move(root)), state_(state) {}

  std::string Read_Root_Path() override { return root_; }
  void Show_Folder(const std::string&) override {}
  void Set_Status(const std::string& text) override { status_ = text; }
  void Show_Failure(const std::string& path, const std::string& reason) override { status_ = path + ": " + reason; }
  void Show_Count(const std::string&) override {}
  std::string Read_Extension() override { return ".PVF"; }
  std::string Read_Delay() override { return "0"; }
  void Set_Locked(Input, bool) override {}
  void Show_Record(const Run_Record&) override {}
  void Show_Verdict(const Run_Record&) override {}

  void Set_Button_Caption(const std::string& caption) override {
    if (caption != "S&top") return;
    const auto now = Clock::now();
    if (++passes_begun_ == 1) {
      first_pass_start_ = now;
    } else if (passes_begun_ == 2) {
      first_pass_end_ = now;
      state_.Stop_Requested = true;
    }
  }

  double First_Pass_Seconds() const {
    if (passes_begun_ < 2) throw std::runtime_error("the walk did not finish a pass: " + status_);
    return Seconds_Between(first_pass_start_, first_pass_end_);
  }

 private:
  std::string root_;
  Run_State& state_;
  std::string status_;
  int passes_begun_ = 0;
  Clock::time_point first_pass_start_;
  Clock::time_point first_pass_end_;
};

double Time_Find(const fs::path& folder) {
  const auto start = Clock::now();
  Run_Command({"find", folder.string(), "-xdev", "-maxdepth", "1", "-type", "f"});
  return Seconds_Between(start, Clock::now());
}

}  // namespace

Pass_Timing Time_One_Pass(const fs::path& folder) {
  Run_State state;
  One_Pass_Window window(folder.string(), state);
  // The folder listing goes through the worker, as in the program.
  No_Op_Event_Pump events;
  Io_Worker worker(events);
  const auto files = Make_Worker_File_System(Make_Local_File_System(), worker);
  Stub_Probe_Copier copier;
  Stub_Pauser pause;
  const auto random = Make_Clock_Random();
  Run_Control control(state, window, Check_Services{*files, copier, pause, *random, events, std::cerr});
  control.Start_Click();
  // The second pass, stopped before its first file, picks nothing.
  return {window.First_Pass_Seconds(), state.File_Count};
}

double Walk_Vs_Find(const fs::path& folder, int entries) {
  // The first run of each fills the caches and is not counted.
  Time_One_Pass(folder);
  Time_Find(folder);
  std::vector<double> walk_seconds;
  std::vector<double> find_seconds;
  for (int run = 0; run < Timed_Runs; ++run) {
    const Pass_Timing pass = Time_One_Pass(folder);
    walk_seconds.push_back(pass.Seconds);
    find_seconds.push_back(Time_Find(folder));
    std::clog << "  walk " << pass.Seconds * 1e3 << " ms (" << pass.Files_Picked
              << " files picked), find " << find_seconds.back() * 1e3 << " ms\n";
  }
  const double walk_per_entry = Median(walk_seconds) / entries;
  const double find_per_entry = Median(find_seconds) / entries;
  std::clog << "  per entry: walk " << walk_per_entry * 1e9 << " ns, find "
            << find_per_entry * 1e9 << " ns\n";
  return walk_per_entry / find_per_entry;
}

}  // namespace palvimo::bench
