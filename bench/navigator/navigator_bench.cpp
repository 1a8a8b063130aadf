// The navigator's benchmarks, offscreen. Prints
//   "navigator_100k_ms: <median of 5>": how long the folder and file lists
//     take to show a folder of 100,000 files, from setting the folder list's
//     path to both lists read and painted;
//   "navigator_stall_unserviced_ms: <median of 3>": the longest stretch
//     without the window's events serviced, while the lists show a folder
//     whose listing takes 2 s (a double of the listing stalls on it), from
//     setting the folder list's path until both lists show the folder.
// Usage: navigator_bench DATA_DIR (the folders are made there once and reused).
#include <QApplication>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench_data.h"
#include "timing.h"
#include "window/dir_list.h"
#include "window/file_list.h"
#include "window/main_form.h"
#include "window/system_volumes.h"

namespace {

using palvimo::bench::Clock;

constexpr int File_Count = 100'000;
constexpr int Runs = 5;
constexpr int Stall_File_Count = 20;
constexpr int Stall_Runs = 3;
constexpr std::chrono::seconds Stall{2};

// The machine's file system, except that opening the folder `slow` takes
// Stall longer, as on a drive that stalls there.
class Slow_File_System final : public palvimo::File_System {
 public:
  explicit Slow_File_System(std::string slow) : slow_(std::move(slow)) {}

  std::unique_ptr<palvimo::Folder> Open_Folder(const std::string& path) override {
    if (path == slow_) std::this_thread::sleep_for(Stall);
    return local_->Open_Folder(path);
  }

 private:
  const std::string slow_;
  const std::unique_ptr<palvimo::File_System> local_ = palvimo::Make_Local_File_System();
};

// Runs the window's events until both lists have read the folder they were
// moved to.
void Wait_For_Lists(const palvimo::Main_Form& form) {
  while (form.Result_Dir->Reading() || form.Result_File->Reading())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Shows `folder` in the folder list, and so in the file list, and returns
// once both have been read, laid out and painted.
void Show_Folder_Painted(palvimo::Main_Form& form, const std::string& folder) {
  form.Result_Dir->Set_Path(folder);
  Wait_For_Lists(form);
  QCoreApplication::processEvents();
  form.repaint();
}

bool Shows(const palvimo::Main_Form& form, const std::filesystem::path& folder, int files) {
  return form.Result_File->Path() == folder.string() && form.Result_File->model()->rowCount() == files;
}

// The longest stretch, in milliseconds, between two turns of the window's
// event loop from moving the lists to `folder` until both show it.
double Longest_Unserviced_Stretch(palvimo::Main_Form& form, const std::string& folder) {
  Clock::time_point last = Clock::now();
  double longest = 0;
  const auto serviced = [&] {
    const Clock::time_point now = Clock::now();
    longest = std::max(longest, 1000 * palvimo::bench::Seconds_Between(last, now));
    last = now;
  };
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, serviced);
  tick.start(1);
  form.Result_Dir->Set_Path(folder);
  Wait_For_Lists(form);
  serviced();
  return longest;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: navigator_bench DATA_DIR\n";
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::filesystem::path data = std::filesystem::absolute(argv[1]);
  const std::filesystem::path folder = data / "navigator-100k";
  const std::filesystem::path stalled = data / "navigator-stall";
  palvimo::bench::Ensure_Empty_Files(folder, File_Count);
  palvimo::bench::Ensure_Empty_Files(stalled, Stall_File_Count);

  QApplication app(argc, argv);
  palvimo::Main_Form form(palvimo::Make_System_Volumes(), std::make_shared<Slow_File_System>(stalled.string()));
  form.show();
  std::vector<double> milliseconds;
  for (int run = 0; run < Runs; ++run) {
    Show_Folder_Painted(form, data.string());
    const auto start = Clock::now();
    Show_Folder_Painted(form, folder.string());
    milliseconds.push_back(1000 * palvimo::bench::Seconds_Between(start, Clock::now()));
    if (!Shows(form, folder, File_Count)) {
      std::cerr << "the file list does not show the " << File_Count << " files of " << folder << '\n';
      return 1;
    }
  }
  std::printf("navigator_100k_ms: %.1f\n", palvimo::bench::Median(milliseconds));

  std::vector<double> longest;
  for (int run = 0; run < Stall_Runs; ++run) {
    Show_Folder_Painted(form, data.string());
    longest.push_back(Longest_Unserviced_Stretch(form, stalled.string()));
    if (!Shows(form, stalled, Stall_File_Count)) {
      std::cerr << "the file list does not show the " << Stall_File_Count << " files of " << stalled << '\n';
      return 1;
    }
  }
  std::printf("navigator_stall_unserviced_ms: %.1f\n", palvimo::bench::Median(longest));
  return 0;
}
