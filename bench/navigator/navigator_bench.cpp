// The navigator's benchmark: how long the folder and file lists take to show
// a folder of 100,000 files, from setting the folder list's path to both
// lists painted, offscreen. Prints "navigator_100k_ms: <median of 5>".
// Usage: navigator_bench DATA_DIR (the folder is made there once and reused).
#include <QApplication>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include "bench_data.h"
#include "timing.h"
#include "window/dir_list.h"
#include "window/file_list.h"
#include "window/main_form.h"

namespace {

constexpr int File_Count = 100'000;
constexpr int Runs = 5;

// Shows `folder` in the folder list, and so in the file list, and returns
// once both have been laid out and painted.
void Show_Folder_Painted(palvimo::Main_Form& form, const std::string& folder) {
  form.Result_Dir->Set_Path(folder);
  QCoreApplication::processEvents();
  form.repaint();
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
  palvimo::bench::Ensure_Empty_Files(folder, File_Count);

  QApplication app(argc, argv);
  palvimo::Main_Form form;
  form.show();
  std::vector<double> milliseconds;
  for (int run = 0; run < Runs; ++run) {
    Show_Folder_Painted(form, data.string());
    const auto start = palvimo::bench::Clock::now();
    Show_Folder_Painted(form, folder.string());
    milliseconds.push_back(1000 * palvimo::bench::Seconds_Between(start, palvimo::bench::Clock::now()));
    if (form.Result_File->Path() != folder.string() || form.Result_File->model()->rowCount() != File_Count) {
      std::cerr << "the file list does not show the " << File_Count << " files of " << folder << '\n';
      return 1;
    }
  }
  std::printf("navigator_100k_ms: %.1f\n", palvimo::bench::Median(milliseconds));
  return 0;
}
