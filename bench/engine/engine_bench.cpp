// The engine's benchmark, one part per invocation so that the walk's peak
// memory is measured in a process that did nothing else:
//   engine_bench copy|walk|walk-rss|probe|verify|idle|race DATA_FOLDER
// Each part makes (or reuses) its data under DATA_FOLDER, reports progress on
// standard error and prints its figures as "name: value" lines.
#include <cstddef>
#include <exception>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <string>

#include "bench_data.h"
#include "copy_bench.h"
#include "probe_bench.h"
#include "process_counters.h"
#include "race_bench.h"
#include "verify_bench.h"
#include "walk_bench.h"

namespace {

namespace fs = std::filesystem;
using namespace palvimo::bench;

constexpr int Copy_Files = 8;
constexpr std::size_t Copy_File_Size = std::size_t{64} << 20;
constexpr int Walk_Entries = 200'000;

fs::path Copy_Folder(const fs::path& data) { return data / "copy-8x64MiB"; }
fs::path Walk_Folder(const fs::path& data) { return data / "walk-200k"; }
fs::path Probe_Folder(const fs::path& data) { return data / "probe-1GiB"; }
constexpr std::size_t Probe_File_Size = std::size_t{1} << 30;
fs::path Verify_Folder(const fs::path& data) { return data / "verify-256MiB"; }
constexpr std::size_t Verify_File_Size = std::size_t{256} << 20;
constexpr int Verify_Runs = 3;
constexpr int Race_Rounds = 20'000;

int Usage() {
  std::cerr << "usage: engine_bench copy|walk|walk-rss|probe|verify|idle|race DATA_FOLDER\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::string part = argv[1];
  try {
    const fs::path data = fs::weakly_canonical(fs::absolute(argv[2]));
    std::cout << std::fixed << std::setprecision(3);
    if (part == "copy") {
      const auto files = Ensure_Random_Files(Copy_Folder(data), Copy_Files, Copy_File_Size);
      const Copy_Figures figures = Run_Copy_Bench(files);
      std::cout << "copy_vs_cp: " << figures.Copy_Vs_Cp << '\n'
                << "device_read_ratio: " << figures.Device_Read_Ratio << '\n'
                << "device_write_ratio: " << figures.Device_Write_Ratio << '\n';
    } else if (part == "walk") {
      Ensure_Empty_Files(Walk_Folder(data), Walk_Entries);
      std::cout << "walk_vs_find: " << Walk_Vs_Find(Walk_Folder(data), Walk_Entries) << '\n';
    } else if (part == "walk-rss") {
      Time_One_Pass(Walk_Folder(data));
      std::cout << std::setprecision(1) << "walk_peak_rss_mb: " << Peak_Resident_Mib() << '\n';
    } else if (part == "probe") {
      const auto files = Ensure_Random_Files(Probe_Folder(data), 1, Probe_File_Size);
      std::cout << std::setprecision(1) << "probe_unserviced_ms: " << Probe_Unserviced_Ms(files[0]) << '\n'
                << "end_during_copy_ms: " << End_During_Copy_Ms(files[0]) << '\n';
    } else if (part == "verify") {
      const auto small = Ensure_Random_Files(Verify_Folder(data), 1, Verify_File_Size);
      const auto large = Ensure_Random_Files(Probe_Folder(data), 1, Probe_File_Size);
      std::cout << "verify_read_ratio: " << Verify_Read_Ratio(small[0]) << '\n'
                << "verified_probe_vs_tools: " << Verified_Probe_Vs_Tools(large[0], Verify_Runs) << '\n';
    } else if (part == "idle") {
      std::cout << std::setprecision(2) << "empty_root_cpu_percent: " << Empty_Root_Cpu_Percent(data / "empty-root")
                << '\n';
    } else if (part == "race") {
      const Race_Figures race = Run_Rename_Race(data / "race", Race_Rounds);
      std::cout << "rename_race_rounds: " << race.Rounds << '\n'
                << "rename_race_users_files_placed: " << race.Placed << '\n'
                << "rename_race_users_files_lost: " << race.Lost << '\n';
    } else {
      return Usage();
    }
  } catch (const std::exception& error) {
    std::cerr << "engine_bench " << part << ": " << error.what() << '\n';
    return 1;
  }
  return 0;
}
