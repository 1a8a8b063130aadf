#include "probe_bench.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/run_control.h"
#include "platform/copier_hooks.h"
#include "platform/io_worker.h"
#include "platform/late_removals.h"
#include "platform/runtime.h"
#include "process_counters.h"
#include "quiet_services.h"
#include "timing.h"

namespace palvimo::bench {

namespace {

namespace fs = std::filesystem;

// A window that records when it was last kept alive, and can be told to end
// the program once a condition holds.
class Timed_Event_Pump final : public Event_Pump {
 public:
  explicit Timed_Event_Pump(std::function<bool()> end_when = nullptr) : end_when_(std::move(end_when)) {}

  void Run_Pending_Events() override {}
  void Wait_For_Events(std::chrono::milliseconds) override {}
  bool Keep_Alive() override {
    Mark();
    if (!ended_ && end_when_ && end_when_()) {
      ended_ = true;
      end_requested_ = Clock::now();
    }
    return !ended_;
  }
  void End_Program() override {}

  void Mark() {
    const auto now = Clock::now();
    longest_ = std::max(longest_, Seconds_Between(last_, now));
    last_ = now;
  }
  double Longest_Ms() const { return longest_ * 1000; }
  Clock::time_point End_Requested() const { return end_requested_; }

 private:
  std::function<bool()> end_when_;
  Clock::time_point last_ = Clock::now();
  double longest_ = 0;
  bool ended_ = false;
  Clock::time_point end_requested_{};
};

std::uintmax_t Size_Of(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : size;
}

double Cpu_Seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Milliseconds from an end request, made once `end_when` holds, until the
// probe of `file`, by a copier with `hooks`, has returned with its copy
// removed.
double Time_End(const fs::path& file, std::function<bool()> end_when, Copier_Hooks hooks = {}) {
  const auto files = Make_Local_File_System();
  const auto folder = files->Open_Folder(file.parent_path().string());
  const std::string name = file.filename().string();
  const fs::path copy = file.string() + ".PVF";
  Timed_Event_Pump events(std::move(end_when));
  Io_Worker worker(events);
  const auto copier = Make_Probe_Copier(worker, std::move(hooks));
  try {
    copier->Copy_File(*folder, name, name + ".PVF");
  } catch (const Program_End&) {
    // The copy still in the worker's hands is removed on a thread of its
    // own: the figure is the time until its name is gone. The program waits
    // for that thread as it ends.
    const auto give_up = Clock::now() + std::chrono::seconds(5);
    while (fs::exists(copy) && Clock::now() < give_up) std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double ms = Seconds_Between(events.End_Requested(), Clock::now()) * 1000;
    if (!Wait_For_Late_Removals(std::chrono::seconds(5)).empty() || fs::exists(copy))
      throw std::runtime_error("the copy was left behind");
    return ms;
  }
  throw std::runtime_error("the copy ended before the end request");
}

}  // namespace

double Probe_Unserviced_Ms(const fs::path& file) {
  const auto files = Make_Local_File_System();
  const auto folder = files->Open_Folder(file.parent_path().string());
  const std::string name = file.filename().string();
  std::vector<double> longest;
  for (int run = 0; run < 3; ++run) {
    Timed_Event_Pump events;
    Io_Worker worker(events);
    const auto copier = Make_Probe_Copier(worker);
    const auto pauser = Make_Pauser(events);
    events.Mark();
    copier->Copy_File(*folder, name, name + ".PVF");
    pauser->Pause(0);
    copier->Delete_Copy();
    events.Mark();
    longest.push_back(events.Longest_Ms());
    std::clog << "  probe " << run + 1 << ": longest unserviced " << longest.back() << " ms\n";
  }
  return Median(longest);
}

double End_During_Copy_Ms(const fs::path& file) {
  const auto wanted = fs::file_size(file) * 3 / 10;
  const fs::path copy = file.string() + ".PVF";
  const double writing = Time_End(file, [&] { return Size_Of(copy) >= wanted; });
  std::clog << "  end 30 % into the copy's write: " << writing << " ms\n";
  // 30 % into the read-back, by what the drive has given since it began.
  std::atomic<bool> reading_back = false;
  std::atomic<std::uint64_t> read_before = 0;
  Copier_Hooks hooks;
  hooks.before_read_back = [&] {
    read_before = Read_Io_Counters().Read_Bytes;
    reading_back = true;
  };
  const double reading = Time_End(
      file, [&] { return reading_back && Read_Io_Counters().Read_Bytes - read_before >= wanted; }, std::move(hooks));
  std::clog << "  end 30 % into the copy's read-back: " << reading << " ms\n";
  return std::max(writing, reading);
}

double Empty_Root_Cpu_Percent(const fs::path& root) {
  fs::create_directories(root);
  // An idle window: waiting for events takes as long as it is allowed to.
  class Idle_Window_Pump final : public Event_Pump {
   public:
    void Run_Pending_Events() override {}
    void Wait_For_Events(std::chrono::milliseconds longest) override { std::this_thread::sleep_for(longest); }
    bool Keep_Alive() override { return true; }
    void End_Program() override {}
  } events;
  class Timed_Window final : public Window_Ops {
   public:
    Timed_Window(std::string root, Run_State& state) : root_(std::move(root)), state_(state) {}
    std::string Read_Root_Path() override { return root_; }
    void Show_Folder(const std::string&) override {}
    void Set_Status(const std::string&) override {}
    void Show_Failure(const std::string&, const std::string&) override {}
    void Show_Count(const std::string&) override {}
    std::string Read_Extension() override { return ".PVF"; }
    std::string Read_Delay() override { return "0"; }
    void Set_Locked(Input, bool) override {}
    void Show_Record(const Run_Record&) override {}
    void Show_Verdict(const Run_Record&) override {}
    // Each pass begins with this caption; after 5 s the run is asked to stop.
    void Set_Button_Caption(const std::string&) override {
      if (Clock::now() - start_ >= std::chrono::seconds(5)) state_.Stop_Requested = true;
    }

   private:
    std::string root_;
    Run_State& state_;
    Clock::time_point start_ = Clock::now();
  };
  Run_State state;
  Timed_Window window(root.string(), state);
  const auto files = Make_Local_File_System();
  Stub_Probe_Copier copier;
  Stub_Pauser pause;
  const auto random = Make_Clock_Random();
  std::ostringstream log;
  Run_Control control(state, window, Check_Services{*files, copier, pause, *random, events, log});
  const double cpu_before = Cpu_Seconds();
  const auto start = Clock::now();
  control.Start_Click();
  return (Cpu_Seconds() - cpu_before) / Seconds_Between(start, Clock::now()) * 100;
}

}  // namespace palvimo::bench
