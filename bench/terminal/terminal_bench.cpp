// palvimo-check's benchmark, on a tree of small files made once under
// DATA_DIR. Prints
//   cli_peak_rss_mb: the peak resident memory (MiB) of a 60 s run,
//   cli_vs_window_probe_rate: its probes a second over the window's, both
//     with no pause on the same tree, taking turns.
// Usage: terminal_bench DATA_DIR CHECK_PROGRAM WINDOW_RATE_BENCH
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_data.h"

namespace {

constexpr int Folders = 20;
constexpr int Files_Per_Folder = 100;
constexpr std::size_t File_Size = 4096;
// The drive's flush times swing widely on a shared machine, so the two
// programs take short turns, in the order ABBA, and each rate is taken over
// all its turns.
constexpr int Rate_Seconds = 4;
constexpr int Rate_Rounds = 12;

struct Finished {
  std::string out;
  double peak_mib = 0;
};

// Runs a program to its end with its standard output read, and its peak
// memory; throws unless it ends with status 0 (for palvimo-check, a run that
// found no faults).
Finished Run(const std::vector<std::string>& arguments) {
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe");
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  Finished finished;
  char buffer[4096];
  for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;)
    finished.out.append(buffer, static_cast<std::size_t>(got));
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(arguments[0] + " did not end with status 0");
  finished.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024;  // ru_maxrss is in KiB
  return finished;
}

nlohmann::json Summary_Of(const std::string& json_lines) {
  std::istringstream lines(json_lines);
  std::string line;
  std::string last;
  while (std::getline(lines, line))
    if (!line.empty()) last = line;
  return nlohmann::json::parse(last);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::cerr << "usage: terminal_bench DATA_DIR CHECK_PROGRAM WINDOW_RATE_BENCH\n";
    return 2;
  }
  try {
    const std::filesystem::path data = std::filesystem::absolute(argv[1]);
    const std::string check = std::filesystem::absolute(argv[2]).string();
    const std::string window = std::filesystem::absolute(argv[3]).string();
    const std::filesystem::path tree = data / "cli-small";
    for (int folder = 0; folder < Folders; ++folder)
      palvimo::bench::Ensure_Random_Files(tree / ("d" + std::to_string(folder)), Files_Per_Folder, File_Size);
    // The runs' records go under the data folder, not the user's home.
    const std::filesystem::path state = data / "cli-state";
    setenv("XDG_STATE_HOME", state.c_str(), 1);

    std::cerr << "cli: palvimo-check, 60 s over " << Folders * Files_Per_Folder << " files of 4 KiB\n";
    const Finished long_run = Run({check, "--quiet", "--json", "--delay", "0", "--duration", "60s", tree.string()});
    const nlohmann::json long_summary = Summary_Of(long_run.out);

    std::cerr << "cli: probe rates, " << Rate_Rounds << " turns of " << Rate_Seconds << " s each\n";
    double check_probes = 0;
    double check_seconds = 0;
    double window_probes = 0;
    double window_seconds = 0;
    const auto run_check = [&] {
      // Its summary as a user would have it: text on standard output, and
      // the figures from the record.
      const std::filesystem::path report = data / "cli-report.json";
      Run({check, "--quiet", "--delay", "0", "--duration", std::to_string(Rate_Seconds) + "s", "--report",
           report.string(), tree.string()});
      const nlohmann::json summary = nlohmann::json::parse(std::ifstream(report))["summary"];
      check_probes += summary["probes"].get<double>();
      check_seconds += summary["elapsed_seconds"].get<double>();
    };
    const auto run_window = [&] {
      std::istringstream out(Run({window, tree.string(), std::to_string(Rate_Seconds)}).out);
      double probes = 0;
      double seconds = 0;
      out >> probes >> seconds;
      window_probes += probes;
      window_seconds += seconds;
    };
    for (int round = 0; round < Rate_Rounds; ++round) {
      if (round % 2 == 0) {
        run_check();
        run_window();
      } else {
        run_window();
        run_check();
      }
    }
    const double check_rate = check_probes / check_seconds;
    const double window_rate = window_probes / window_seconds;
    std::cerr << "  palvimo-check " << check_rate << " probes/s, window " << window_rate << " probes/s\n";
    std::printf("cli_peak_rss_mb: %.1f\n", long_run.peak_mib);
    std::printf("cli_probes_in_60s: %lld\n", long_summary["probes"].get<long long>());
    std::printf("cli_vs_window_probe_rate: %.3f\n", check_rate / window_rate);
  } catch (const std::exception& error) {
    std::cerr << "terminal_bench: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
