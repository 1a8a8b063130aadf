// palvimo-check's probe rate through a passthrough FUSE mount, on a tree of
// small files made once under DATA_DIR. Prints
//   fuse_probe_ratio: its probes a second on the mount over those on the
//     folder the mount shows, no pause, taking turns.
// Ends with status 3, and no figure, where no FUSE mount can be made.
// Usage: fuse_bench DATA_DIR CHECK_PROGRAM PASSTHROUGH_FS
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_data.h"
#include "support/fuse_mount.h"

namespace {

constexpr int Folders = 10;
constexpr int Files_Per_Folder = 100;
constexpr std::size_t File_Size = 16384;
// Short turns in the order ABBA, so that the machine's load sways both alike.
constexpr int Rate_Seconds = 4;
constexpr int Rate_Rounds = 6;

// Runs palvimo-check for a turn over `root`: its probes and seconds, from
// the report it writes.
std::pair<double, double> Probe_Turn(const std::string& check, const std::filesystem::path& root,
                                     const std::filesystem::path& report) {
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    // Its summary is not this benchmark's output, which is the figure alone.
    const int nothing = open("/dev/null", O_WRONLY);
    if (nothing >= 0) dup2(nothing, STDOUT_FILENO);
    execl(check.c_str(), check.c_str(), "--quiet", "--delay", "0", "--duration",
          (std::to_string(Rate_Seconds) + "s").c_str(), "--report", report.c_str(), root.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("palvimo-check on " + root.string() + " did not end with status 0");
  const nlohmann::json summary = nlohmann::json::parse(std::ifstream(report))["summary"];
  return {summary["probes"].get<double>(), summary["elapsed_seconds"].get<double>()};
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::cerr << "usage: fuse_bench DATA_DIR CHECK_PROGRAM PASSTHROUGH_FS\n";
    return 2;
  }
  try {
    const std::filesystem::path data = std::filesystem::absolute(argv[1]);
    const std::string check = std::filesystem::absolute(argv[2]).string();
    const std::string passthrough = std::filesystem::absolute(argv[3]).string();
    const std::filesystem::path tree = data / "fuse-tree";
    for (int folder = 0; folder < Folders; ++folder)
      palvimo::bench::Ensure_Random_Files(tree / ("d" + std::to_string(folder)), Files_Per_Folder, File_Size);
    const std::filesystem::path mount_point = data / "fuse-mount";
    std::filesystem::create_directories(mount_point);
    setenv("XDG_STATE_HOME", (data / "fuse-state").c_str(), 1);

    const palvimo::testing::Fuse_Mount mount(passthrough, tree.string(), mount_point.string(), {});
    if (!mount.Mounted()) {
      std::cerr << "fuse: no figure, " << mount.Why_Not() << '\n';
      return 3;
    }
    std::cerr << "fuse: probe rates, " << Rate_Rounds << " turns of " << Rate_Seconds << " s each\n";
    double folder_probes = 0;
    double folder_seconds = 0;
    double mount_probes = 0;
    double mount_seconds = 0;
    const std::filesystem::path report = data / "fuse-report.json";
    const auto on_folder = [&] {
      const auto [probes, seconds] = Probe_Turn(check, tree, report);
      folder_probes += probes;
      folder_seconds += seconds;
    };
    const auto on_mount = [&] {
      const auto [probes, seconds] = Probe_Turn(check, mount_point, report);
      mount_probes += probes;
      mount_seconds += seconds;
    };
    for (int round = 0; round < Rate_Rounds; ++round) {
      if (round % 2 == 0) {
        on_folder();
        on_mount();
      } else {
        on_mount();
        on_folder();
      }
    }
    const double folder_rate = folder_probes / folder_seconds;
    const double mount_rate = mount_probes / mount_seconds;
    std::cerr << "  on the folder " << folder_rate << " probes/s, through FUSE " << mount_rate << " probes/s\n";
    std::printf("fuse_probe_ratio: %.3f\n", mount_rate / folder_rate);
  } catch (const std::exception& error) {
    std::cerr << "fuse_bench: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
