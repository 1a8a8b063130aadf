#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "terminal/program_run.h"
#include "support/temp_tree.h"

namespace palvimo::testing {
namespace {

using namespace std::chrono_literals;

// A user who is not root, to run as when the tests run as root.
constexpr uid_t Nobody = 65534;

std::string Program_Line(const char* program, const std::vector<std::string>& arguments) {
  std::string line = program;
  for (const std::string& argument : arguments) line += " " + argument;
  return line;
}

// palvimo-check or palvimo over one temporary tree, with a home of its own
// inside it so that the kept records land there.
class Check_Program : public ::testing::Test {
 protected:
  Program_Run::Settings Settings(const char* program, const std::vector<std::string>& arguments) const {
    Program_Run::Settings settings{{program}, {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"}, std::nullopt};
    settings.arguments.insert(settings.arguments.end(), arguments.begin(), arguments.end());
    settings.environment.push_back("HOME=" + home_.Root());
    settings.environment.push_back("XDG_STATE_HOME=" + home_.Path("state"));
    return settings;
  }

  int Run(const std::vector<std::string>& arguments) {
    Program_Run run(Settings(PALVIMO_CHECK_PROGRAM, arguments));
    const int status = run.Wait();
    out_ = run.Out();
    err_ = run.Err();
    return status;
  }

  void Write_Files(int count, const std::string& folder = "") const {
    for (int index = 0; index < count; ++index)
      tree_.Write_File(folder + "file" + std::to_string(index) + ".bin", std::string(4096, static_cast<char>(index)));
  }

  Temp_Tree tree_;
  Temp_Tree home_;
  std::string out_;
  std::string err_;
};

TEST_F(Check_Program, CleanRunLimitedByProbesEndsWithZeroAndTheSharedSummary) {
  Write_Files(20);
  Write_Files(5, "sub/");
  EXPECT_EQ(Run({"--delay", "0", "--probes", "7", tree_.Root()}), 0) << err_;
  EXPECT_EQ(out_.rfind("Checked 7 files: no faults found.", 0), 0u) << out_;
  EXPECT_NE(out_.find("Files checked: 7 (7 good, 0 failed)"), std::string::npos) << out_;
  EXPECT_TRUE(tree_.Files_Ending_In(".PVF").empty());
  // The verdict goes to standard output only; the run's record is kept.
  EXPECT_EQ(err_.find("Checked"), std::string::npos) << err_;
  EXPECT_FALSE(std::filesystem::is_empty(home_.Path("state/palvimo/runs")));
}

TEST_F(Check_Program, ScrubCataloguesThenCatchesADriveChangeAndEndsWithOne) {
  Write_Files(3);
  tree_.Write_File("sub/big.bin", std::string(std::size_t{3} << 20, 'b'));
  EXPECT_EQ(Run({"--scrub", "--quiet", tree_.Root()}), 0) << err_;
  EXPECT_NE(out_.find("Read 4 files"), std::string::npos) << out_;
  EXPECT_NE(out_.find("4 new"), std::string::npos) << out_;
  EXPECT_FALSE(std::filesystem::is_empty(home_.Path("state/palvimo/catalogue")));
  // Again at once: everything was verified within the day.
  EXPECT_EQ(Run({"--scrub", "--quiet", tree_.Root()}), 0) << err_;
  EXPECT_NE(out_.find("4 skipped"), std::string::npos) << out_;

  // One byte changed behind the file system's back, its times put back.
  const std::string big = tree_.Path("sub/big.bin");
  struct stat before {};
  ASSERT_EQ(stat(big.c_str(), &before), 0);
  const int fd = open(big.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "X", 1, std::int64_t{2} << 20), 1);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(futimens(fd, times), 0);
  close(fd);
  EXPECT_EQ(Run({"--scrub-all", "--quiet", tree_.Root()}), 1) << err_;
  EXPECT_NE(err_.find(big + ": its content changed while its size and times did not (in the MiB at byte 2097152)"),
            std::string::npos)
      << err_;
  EXPECT_NE(out_.find("3 as catalogued"), std::string::npos) << out_;
}

TEST_F(Check_Program, UnreadableFileIsAFaultAndEndsWithOne) {
  const std::string file = tree_.Write_File("locked.bin", std::string(1000, 'x'));
  ASSERT_EQ(chmod(file.c_str(), 0), 0);
  Program_Run::Settings settings = Settings(PALVIMO_CHECK_PROGRAM, {"-d", "0", "-n", "3", "--quiet", tree_.Root()});
  if (geteuid() == 0) {
    // Root reads any file; the program runs as a user who cannot.
    for (const std::string& path : {tree_.Root(), file, home_.Root()})
      ASSERT_EQ(chown(path.c_str(), Nobody, Nobody), 0);
    settings.user = Nobody;
  }
  Program_Run run(settings);
  EXPECT_EQ(run.Wait(), 1) << run.Err();
  EXPECT_NE(run.Out().find("Checked 3 files: 3 faults."), std::string::npos) << run.Out();
  EXPECT_NE(run.Err().find("palvimo-check: " + file + ": "), std::string::npos) << run.Err();
  EXPECT_TRUE(tree_.Files_Ending_In(".PVF").empty());
}

TEST_F(Check_Program, BadUsageAndUncheckableFoldersEndWithTwoAndSayWhy) {
  Write_Files(2);
  const std::string missing = tree_.Path("missing");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus", tree_.Root()}, "--bogus"},
      {{}, "FOLDER is required"},
      {{"--duration", "10x", tree_.Root()}, "--duration"},
      {{"--probes", "0", tree_.Root()}, "--probes"},
      {{"--delay", "soon", tree_.Root()}, "--delay"},
      {{"--extension", "/x", tree_.Root()}, "--extension"},
      {{"--report", tree_.Path("no/such/folder/report.json"), tree_.Root()}, "cannot write the report"},
      {{missing}, "Cannot open the folder: " + missing + " (No such file or directory)"},
  };
  for (const auto& [arguments, reason] : cases) {
    SCOPED_TRACE(Program_Line("palvimo-check", arguments));
    EXPECT_EQ(Run(arguments), 2);
    EXPECT_EQ(err_.rfind("palvimo-check: ", 0), 0u) << err_;
    EXPECT_NE(err_.find(reason), std::string::npos) << err_;
    EXPECT_TRUE(out_.empty()) << out_;
  }
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_EQ(out_.rfind("Check a drive", 0), 0u) << out_;
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out_.rfind("palvimo-check (Palvimo) " PALVIMO_VERSION "\n", 0), 0u) << out_;
}

TEST_F(Check_Program, JsonLinesParseWithTheSummaryLastAndMatchTheReport) {
  Write_Files(10);
  const std::string report = home_.Path("report.json");
  ASSERT_EQ(Run({"--json", "-d", "0", "-n", "4", "--report", report, tree_.Root()}), 0) << err_;
  std::istringstream lines(out_);
  std::vector<nlohmann::json> parsed;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    ASSERT_NO_THROW(parsed.push_back(nlohmann::json::parse(line)));
  }
  ASSERT_EQ(parsed.size(), 6u) << out_;
  EXPECT_EQ(parsed.front()["type"], "run");
  for (std::size_t at = 1; at < 5; ++at) {
    EXPECT_EQ(parsed[at]["type"], "probe");
    EXPECT_EQ(parsed[at]["ok"], true);
    EXPECT_EQ(parsed[at]["path"].get<std::string>().rfind(tree_.Root() + "/file", 0), 0u);
  }
  const nlohmann::json& summary = parsed.back();
  EXPECT_EQ(summary["type"], "summary");
  EXPECT_EQ(summary["probes"], 4);
  EXPECT_EQ(summary["failed"], 0);
  const nlohmann::json record = nlohmann::json::parse(Temp_Tree::Read_File(report));
  EXPECT_EQ(record["summary"]["probes"], 4);
  EXPECT_EQ(record["run"]["root"], tree_.Root());
}

TEST_F(Check_Program, InterruptDuringALargeCopyRemovesItAndStillSummarises) {
  // Sparse: reading it costs little, but its copy is written out in full.
  const std::string big = tree_.Path("big.bin");
  ASSERT_EQ(truncate(tree_.Write_File("big.bin", "").c_str(), 0), 0);
  std::filesystem::resize_file(big, std::uintmax_t{3} << 30);
  Program_Run run(Settings(PALVIMO_CHECK_PROGRAM, {"-d", "0", tree_.Root()}));
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  while (!std::filesystem::exists(big + ".PVF") && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(std::filesystem::exists(big + ".PVF")) << "the copy never began";
  run.Signal(SIGINT);
  const int status = run.Wait();
  EXPECT_TRUE(status == 0 || status == 1) << status << "\n" << run.Err();
  EXPECT_FALSE(std::filesystem::exists(big + ".PVF"));
  // The probe was cut short, not finished first: the only file went
  // unchecked.
  EXPECT_EQ(run.Out().rfind("Checked no files.", 0), 0u) << run.Out();
}

TEST_F(Check_Program, ProgressLinesWhereStandardErrorIsNoTerminal) {
  Write_Files(3);
  EXPECT_EQ(Run({"--duration", "11s", "--delay", "100", tree_.Root()}), 0) << err_;
  EXPECT_NE(err_.find(" files  read "), std::string::npos) << err_;
  EXPECT_NE(err_.find(" 0 faults\n"), std::string::npos) << err_;
  EXPECT_NE(out_.find("no faults found"), std::string::npos) << out_;
}

TEST_F(Check_Program, OnATerminalOneProgressLineIsRewrittenAndTheSummaryStaysClean) {
  Write_Files(30);
  Program_Run::Settings settings = Settings(PALVIMO_CHECK_PROGRAM, {"-d", "0", "-n", "30", tree_.Root()});
  settings.error_on_terminal = true;
  Program_Run run(settings);
  EXPECT_EQ(run.Wait(), 0) << run.Err();
  // Each showing goes back to the line's start and erases what is left of
  // the one before; no line ends, and the last is erased.
  EXPECT_EQ(run.Err().rfind("\r0 s  0 files  read 0 B", 0), 0u) << run.Err();
  EXPECT_NE(run.Err().find(" faults\x1b[K"), std::string::npos) << run.Err();
  EXPECT_EQ(run.Err().find('\n'), std::string::npos) << run.Err();
  EXPECT_EQ(run.Err().substr(run.Err().size() - 4), "\r\x1b[K");
  EXPECT_EQ(run.Out().rfind("Checked 30 files: no faults found.", 0), 0u) << run.Out();
  EXPECT_EQ(run.Out().find('\x1b'), std::string::npos) << run.Out();
}

TEST_F(Check_Program, WindowProgramAnswersItsCommandLineWithoutADisplay) {
  const auto run_window = [&](const std::vector<std::string>& arguments, const std::string& display = {}) {
    Program_Run::Settings settings = Settings(PALVIMO_PROGRAM, arguments);
    if (!display.empty()) settings.environment.push_back("DISPLAY=" + display);
    Program_Run run(settings);
    const int status = run.Wait();
    out_ = run.Out();
    err_ = run.Err();
    return status;
  };
  EXPECT_EQ(run_window({"--version"}), 0) << err_;
  EXPECT_EQ(out_, "palvimo (Palvimo) " PALVIMO_VERSION "\n");
  EXPECT_EQ(run_window({"--help"}), 0) << err_;
  EXPECT_NE(out_.find("palvimo-check"), std::string::npos) << out_;
  EXPECT_EQ(run_window({"--bogus"}), 2);
  EXPECT_NE(err_.find("palvimo: Unknown option 'bogus'"), std::string::npos) << err_;
  EXPECT_EQ(run_window({tree_.Root()}), 2);
  EXPECT_EQ(err_.rfind("palvimo: no display", 0), 0u) << err_;
  EXPECT_NE(err_.find("palvimo-check"), std::string::npos) << err_;
  // A display named but not there: one line too, and no abort.
  EXPECT_EQ(run_window({tree_.Root()}, ":9873"), 2) << err_;
  EXPECT_EQ(err_.rfind("palvimo: cannot open the window on the display", 0), 0u) << err_;
  EXPECT_NE(err_.find("palvimo-check"), std::string::npos) << err_;
  EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
}

}  // namespace
}  // namespace palvimo::testing
