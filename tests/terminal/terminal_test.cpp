#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "engine/drive_watch.h"
#include "engine/run_report.h"
#include "platform/drive_health.h"
#include "support/exposition.h"
#include "terminal/program_run.h"
#include "terminal/terminal_check.h"
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

std::vector<nlohmann::json> Json_Lines(const std::string& text) {
  std::vector<nlohmann::json> parsed;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) parsed.push_back(nlohmann::json::parse(line));
  return parsed;
}

std::vector<std::string> Text_Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Validates each file against the record's JSON Schema, with the validator
// Debian packages: a file ending in ".jsonl" line by line, any other as one
// document. What is wrong, or nothing.
constexpr const char* Validator = R"(
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1], encoding="utf-8"))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
for path in sys.argv[2:]:
    text = open(path, encoding="utf-8").read()
    values = [json.loads(line) for line in text.splitlines()] if path.endswith(".jsonl") else [json.loads(text)]
    if not values:
        print(path + ": empty")
    for value in values:
        for error in validator.iter_errors(value):
            print(path + ": " + "/".join(map(str, error.absolute_path)) + ": " + error.message[:300])
)";

std::string Schema_Problems(const std::vector<std::string>& files) {
  Program_Run::Settings settings;
  settings.arguments = {"/usr/bin/python3", "-c", Validator, PALVIMO_SCHEMA};
  settings.environment = {"PATH=/usr/bin:/bin"};
  settings.arguments.insert(settings.arguments.end(), files.begin(), files.end());
  Program_Run run(settings);
  const int status = run.Wait();
  return status == 0 && run.Err().empty() ? run.Out() : "validator status " + std::to_string(status) + ": " + run.Err();
}

// palvimo-check or palvimo over one temporary tree, with a home of its own
// inside it so that the kept records land there.
class Check_Program : public ::testing::Test {
 protected:
  Program_Run::Settings Settings(const char* program, const std::vector<std::string>& arguments) const {
    Program_Run::Settings settings;
    settings.arguments = {program};
    settings.environment = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
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
  EXPECT_EQ(Run({"--delay", "0", "--probes", "7", "--quiet", tree_.Root()}), 0) << err_;
  EXPECT_FALSE(out_.empty());
  EXPECT_TRUE(tree_.Files_Ending_In(".PVF").empty());
  // The summary goes to standard output only; the run's record is kept.
  EXPECT_TRUE(err_.empty()) << err_;
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

// A file its user may not read is no fault of the drive's: it is listed as
// not checked, and the run that checked the others ends with 0.
TEST_F(Check_Program, UnreadableFileIsNotCheckedAndTheOthersAreClean) {
  Write_Files(2);
  const std::string file = tree_.Write_File("locked.bin", std::string(1000, 'x'));
  ASSERT_EQ(chmod(file.c_str(), 0), 0);
  std::string program = PALVIMO_CHECK_PROGRAM;
  std::optional<uid_t> user;
  if (geteuid() == 0) {
    // Root reads any file; the program runs as a user who cannot, from a
    // copy in a folder of that user's, since the build may lie where only
    // root may go (under /root).
    program = home_.Path("bin/palvimo-check");
    std::filesystem::create_directories(home_.Path("bin"));
    std::filesystem::copy_file(PALVIMO_CHECK_PROGRAM, program);
    for (const std::string& path : {tree_.Root(), tree_.Path("file0.bin"), tree_.Path("file1.bin"), file, home_.Root(),
                                    home_.Path("bin"), program})
      ASSERT_EQ(chown(path.c_str(), Nobody, Nobody), 0);
    user = Nobody;
    Program_Run::Settings reach = Settings(program.c_str(), {"--version"});
    reach.user = user;
    Program_Run reach_run(reach);
    if (reach_run.Wait() != 0) GTEST_SKIP() << "user " << Nobody << " cannot run " << program << " (a folder above "
                                             << "the temporary folder is closed to it)";
  }
  Program_Run::Settings settings = Settings(program.c_str(), {"-d", "0", "-n", "40", "--quiet", "--json", tree_.Root()});
  settings.user = user;
  Program_Run run(settings);
  EXPECT_EQ(run.Wait(), 0) << run.Err();
  const std::vector<nlohmann::json> lines = Json_Lines(run.Out());
  ASSERT_FALSE(lines.empty());
  const nlohmann::json& summary = lines.back();
  EXPECT_EQ(summary["verdict"], "no drive faults");
  EXPECT_EQ(summary["exit_status"], 0);
  EXPECT_EQ(summary["failed_by_class"]["drive_fault"], 0);
  EXPECT_GT(summary["good"].get<int>(), 0);
  // Picked 40 times among 3 files, the locked one all but surely was.
  EXPECT_GT(summary["failed_by_kind"]["permission_denied"].get<int>(), 0) << run.Out();
  for (const nlohmann::json& line : lines) {
    if (line["type"] != "failure") continue;
    EXPECT_EQ(line["path"], file);
    EXPECT_EQ(line["class"], "not_checked");
    EXPECT_EQ(line["errno"], "EACCES");
    EXPECT_EQ(line["error_number"], EACCES);
  }
  EXPECT_NE(run.Err().find("palvimo-check: " + file + ": "), std::string::npos) << run.Err();
  EXPECT_TRUE(tree_.Files_Ending_In(".PVF").empty());
}

// Copies that cannot be made (each file's name leaves no room for the
// extension) check nothing: the run ends by itself with 2 and says why.
TEST_F(Check_Program, NothingCheckableEndsWithTwoAndOneSentence) {
  for (const char letter : {'a', 'b', 'c'}) tree_.Write_File(std::string(253, letter), "data");
  EXPECT_EQ(Run({"-d", "0", "-q", "--json", tree_.Root()}), 2) << err_;
  const std::vector<std::string> said = Text_Lines(err_);
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back().rfind("palvimo-check: no file could be checked in " + tree_.Root() + ": ", 0), 0u) << err_;
  const nlohmann::json summary = Json_Lines(out_).back();
  EXPECT_EQ(summary["verdict"], "nothing checked");
  EXPECT_EQ(summary["ended_because"], "nothing_checkable");
  EXPECT_EQ(summary["exit_status"], 2);
  EXPECT_EQ(summary["good"], 0);
  EXPECT_GE(summary["failed_by_kind"]["name_too_long"].get<int>(), 50) << summary;
  const std::string lines_file = home_.Path("lines.jsonl");
  std::ofstream(lines_file) << out_;
  EXPECT_EQ(Schema_Problems({lines_file}), "");
  EXPECT_TRUE(tree_.Files_Ending_In(".PVF").empty());
}

TEST_F(Check_Program, BadUsageAndUncheckableFoldersEndWithTwoAndSayWhy) {
  Write_Files(2);
  const std::string missing = tree_.Path("missing");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus", tree_.Root()}, "--bogus"},
      {{}, "missing FOLDER"},
      {{"--duration", "10x", tree_.Root()}, "--duration"},
      {{"--probes", "0", tree_.Root()}, "--probes"},
      {{"-n", "-3", tree_.Root()}, "-3"},
      {{"-t", "0s", tree_.Root()}, "--duration"},
      {{"-t", "-1s", tree_.Root()}, "--duration"},
      {{"-t", "106752d", tree_.Root()}, "100 years"},
      {{tree_.Root(), "--probes"}, "option '--probes' requires an argument"},
      {{"-e", "", tree_.Root()}, "--extension: the extension is empty"},
      {{"--delay", "soon", tree_.Root()}, "--delay"},
      {{"--extension", "/x", tree_.Root()}, "--extension"},
      {{"--report", tree_.Path("no/such/folder/report.json"), tree_.Root()}, "cannot write the report"},
      {{missing}, "cannot open the folder: " + missing + " (No such file or directory)"},
  };
  for (const auto& [arguments, reason] : cases) {
    SCOPED_TRACE(Program_Line("palvimo-check", arguments));
    EXPECT_EQ(Run(arguments), 2);
    // One line in lower case after the program's name, then where help is
    // (none for a folder that cannot be checked); no range of 300 digits.
    const std::vector<std::string> said = Text_Lines(err_);
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said[0].rfind("palvimo-check: ", 0), 0u) << err_;
    EXPECT_TRUE(std::islower(static_cast<unsigned char>(said[0][15])) || said[0][15] == '-') << err_;
    EXPECT_LE(said.size(), 2u) << err_;
    EXPECT_NE(err_.find(reason), std::string::npos) << err_;
    EXPECT_EQ(err_.find("179769"), std::string::npos) << err_;
    EXPECT_TRUE(out_.empty()) << out_;
  }
  for (const char* help : {"--help", "-h"}) {
    EXPECT_EQ(Run({help}), 0);
    EXPECT_EQ(out_.rfind("Usage: palvimo-check [OPTION]... FOLDER\n", 0), 0u) << out_;
    EXPECT_NE(out_.find("Exit status:"), std::string::npos) << out_;
  }
  for (const char* version : {"--version", "-V"}) {
    EXPECT_EQ(Run({version}), 0);
    EXPECT_EQ(out_.rfind("palvimo-check (Palvimo) " PALVIMO_VERSION "\n", 0), 0u) << out_;
  }
}

// A folder that is not there checks nothing: its JSON never says the drive
// is sound.
TEST_F(Check_Program, MissingFolderClaimsNoSoundDriveInItsJson) {
  const std::string missing = tree_.Path("missing");
  EXPECT_EQ(Run({"--json", missing}), 2);
  const std::vector<nlohmann::json> lines = Json_Lines(out_);
  ASSERT_EQ(lines.size(), 2u) << out_;
  const nlohmann::json& summary = lines.back();
  EXPECT_EQ(summary["verdict"], "nothing checked");
  EXPECT_EQ(summary["ended_because"], "folder_unreadable");
  EXPECT_EQ(summary["exit_status"], 2);
  EXPECT_EQ(summary["text"].get<std::string>().find("no faults"), std::string::npos) << summary;
  const std::string lines_file = home_.Path("lines.jsonl");
  std::ofstream(lines_file) << out_;
  EXPECT_EQ(Schema_Problems({lines_file}), "");
}

TEST_F(Check_Program, JsonLinesParseWithTheSummaryLastAndMatchTheReport) {
  Write_Files(10);
  const std::string report = home_.Path("report.json");
  const std::vector<std::string> arguments = {"--json", "-d", "0", "-n", "4", "--report", report, tree_.Root()};
  ASSERT_EQ(Run(arguments), 0) << err_;
  std::vector<nlohmann::json> parsed;
  ASSERT_NO_THROW(parsed = Json_Lines(out_)) << out_;
  ASSERT_EQ(parsed.size(), 6u) << out_;
  const nlohmann::json& header = parsed.front();
  EXPECT_EQ(header["type"], "run");
  EXPECT_EQ(header["json_format_version"], nlohmann::json::array({1, 0}));
  EXPECT_EQ(header["program"], "palvimo-check");
  std::vector<std::string> command_line = {PALVIMO_CHECK_PROGRAM};
  command_line.insert(command_line.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(header["command_line"], command_line);
  EXPECT_EQ(header["settings"]["delay"], 0);
  EXPECT_FALSE(header["volume"]["mount_point"].get<std::string>().empty()) << header;
  for (std::size_t at = 1; at < 5; ++at) {
    EXPECT_EQ(parsed[at]["type"], "probe");
    EXPECT_EQ(parsed[at]["ok"], true);
    EXPECT_EQ(parsed[at]["path"].get<std::string>().rfind(tree_.Root() + "/file", 0), 0u);
  }
  const nlohmann::json& summary = parsed.back();
  EXPECT_EQ(summary["type"], "summary");
  EXPECT_EQ(summary["probes"], 4);
  EXPECT_EQ(summary["failed"], 0);
  EXPECT_EQ(summary["verdict"], "no drive faults");
  EXPECT_EQ(summary["ended_because"], "probe_limit");
  EXPECT_EQ(summary["exit_status"], 0);
  // What it covered: four probes, of at most four of the ten files.
  EXPECT_EQ(summary["checked"], 4);
  const nlohmann::json& coverage = summary["coverage"];
  EXPECT_GE(coverage["files_probed"], 1);
  EXPECT_LE(coverage["files_probed"], 4);
  EXPECT_EQ(coverage["files_checked"], coverage["files_probed"]);
  EXPECT_EQ(coverage["files_not_checked"], 0);
  EXPECT_GE(coverage["files_seen"], coverage["files_probed"]);
  EXPECT_EQ(coverage["complete"], true);
  EXPECT_TRUE(summary["volume_note"].is_string()) << summary;
  // The drive is named as far as this machine tells, each field there.
  const nlohmann::json& drive = header["drive"];
  ASSERT_TRUE(drive.is_object()) << header;
  for (const char* key : {"device", "disk", "model", "serial", "bus", "size_bytes", "removable"})
    EXPECT_TRUE(drive.contains(key)) << key << " missing from " << drive;
  EXPECT_TRUE(drive["health"]["available"].is_boolean()) << drive;
  if (drive["health"]["available"] == false) {
    EXPECT_FALSE(drive["health"]["reason"].get<std::string>().empty());
  }
  EXPECT_TRUE(summary.contains("drive_health_change")) << summary;
  const nlohmann::json record = nlohmann::json::parse(Temp_Tree::Read_File(report));
  EXPECT_EQ(record["summary"]["probes"], 4);
  EXPECT_EQ(record["run"]["root"], tree_.Root());
  EXPECT_EQ(record["run"]["volume"], header["volume"]);
  EXPECT_EQ(record["run"]["drive"], drive);
  EXPECT_EQ(record["summary"]["coverage"], coverage);

  // The lines, the report and the record kept on disk, by the schema.
  const std::string lines_file = home_.Path("lines.jsonl");
  std::ofstream(lines_file) << out_;
  std::vector<std::string> files = {lines_file, report};
  for (const auto& kept : std::filesystem::directory_iterator(home_.Path("state/palvimo/runs")))
    files.push_back(kept.path().string());
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(Schema_Problems(files), "");
  // The schema refuses what the form is not: a delay as text.
  nlohmann::json wrong = header;
  wrong["settings"]["delay"] = "0";
  std::ofstream(home_.Path("wrong.json")) << wrong.dump();
  EXPECT_NE(Schema_Problems({home_.Path("wrong.json")}).find("settings/delay"), std::string::npos);
}

TEST_F(Check_Program, InterruptDuringALargeCopyRemovesItAndStillSummarises) {
  // Sparse: reading it costs little, but its copy is written out in full.
  const std::string big = tree_.Path("big.bin");
  ASSERT_EQ(truncate(tree_.Write_File("big.bin", "").c_str(), 0), 0);
  std::filesystem::resize_file(big, std::uintmax_t{3} << 30);
  Program_Run run(Settings(PALVIMO_CHECK_PROGRAM, {"-d", "0", "--json", tree_.Root()}));
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  while (!std::filesystem::exists(big + ".PVF") && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(std::filesystem::exists(big + ".PVF")) << "the copy never began";
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(), 128 + SIGINT) << run.Err();
  EXPECT_FALSE(std::filesystem::exists(big + ".PVF"));
  // The summary is written all the same. The probe was cut short, not
  // finished first: the only file went unchecked.
  const nlohmann::json summary = Json_Lines(run.Out()).back();
  EXPECT_EQ(summary["type"], "summary");
  EXPECT_EQ(summary["ended_because"], "signal");
  EXPECT_EQ(summary["exit_status"], 128 + SIGINT);
  EXPECT_EQ(summary["good"], 0);
  EXPECT_EQ(summary["verdict"], "nothing checked");
}

// A summary that cannot be written is no clean check, in text or in JSON.
TEST_F(Check_Program, StandardOutputThatCannotBeWrittenEndsWithTwo) {
  Write_Files(3);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-d", "0", "-n", "3", "-q", tree_.Root()},
        std::vector<std::string>{"--json", "-d", "0", "-n", "3", "-q", tree_.Root()}}) {
    SCOPED_TRACE(Program_Line("palvimo-check", arguments));
    Program_Run::Settings settings = Settings(PALVIMO_CHECK_PROGRAM, arguments);
    settings.output_path = "/dev/full";
    Program_Run run(settings);
    EXPECT_EQ(run.Wait(), 2);
    EXPECT_EQ(run.Err(), "palvimo-check: cannot write standard output: No space left on device\n");
  }
  EXPECT_TRUE(tree_.Files_Ending_In(".PVF").empty());
}

// Run from a folder that holds libraries of the same names, the programs
// load the system's, not those: their run path names no current folder.
TEST_F(Check_Program, ProgramsLoadNoLibraryFromTheCurrentFolder) {
  for (const char* planted : {"libxxhash.so.0", "libstdc++.so.6", "libQt6Core.so.6", "libQt6Widgets.so.6"})
    tree_.Write_File(planted, "not a library");
  for (const char* program : {PALVIMO_CHECK_PROGRAM, PALVIMO_PROGRAM}) {
    Program_Run::Settings settings = Settings(program, {"--version"});
    settings.folder = tree_.Root();
    Program_Run run(settings);
    EXPECT_EQ(run.Wait(), 0) << program << ": " << run.Err();
  }
}

TEST_F(Check_Program, ProgressLinesWhereStandardErrorIsNoTerminal) {
  Write_Files(3);
  EXPECT_EQ(Run({"--duration", "11s", "--delay", "100", tree_.Root()}), 0) << err_;
  EXPECT_NE(err_.find(" files  read "), std::string::npos) << err_;
  EXPECT_NE(err_.find(" 0 faults\n"), std::string::npos) << err_;
  EXPECT_FALSE(out_.empty());
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
  EXPECT_FALSE(run.Out().empty());
  EXPECT_EQ(run.Out().find('\x1b'), std::string::npos) << run.Out();
}

// On a narrow terminal each rewrite fits in a line, so none wraps and is
// left behind; the faults are still shown.
TEST_F(Check_Program, OnANarrowTerminalTheProgressLineFits) {
  Write_Files(20);
  Program_Run::Settings settings = Settings(PALVIMO_CHECK_PROGRAM, {"-d", "0", "-n", "20", tree_.Root()});
  settings.error_on_terminal = true;
  settings.terminal_columns = 40;
  Program_Run run(settings);
  EXPECT_EQ(run.Wait(), 0) << run.Err();
  std::istringstream shown(run.Err());
  int lines = 0;
  for (std::string line; std::getline(shown, line, '\r');) {
    if (line.empty() || line == "\x1b[K") continue;
    ++lines;
    EXPECT_LT(line.size() - std::strlen("\x1b[K"), 40u) << line;
    EXPECT_NE(line.find(" faults"), std::string::npos) << line;
  }
  EXPECT_GT(lines, 0);
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
TEST_F(Check_Program, MetricsFileParsesWithTheRunsCountsAndOneThatCannotBeWrittenEndsWithTwo) {
  Write_Files(6);
  const std::string metrics = home_.Path("palvimo.prom");
  ASSERT_EQ(Run({"-q", "-d", "0", "-n", "5", "--metrics", metrics, tree_.Root()}), 0) << err_;
  const std::vector<Sample> samples = Parse_Exposition(Temp_Tree::Read_File(metrics));
  const auto value = [&samples](const std::string& name, const std::map<std::string, std::string>& labels = {}) {
    const Sample* sample = Find(samples, name, labels);
    return sample ? sample->value : -1;
  };
  EXPECT_EQ(value("palvimo_run_files_checked", {{"root", tree_.Root()}}), 5);
  EXPECT_EQ(value("palvimo_run_files_good"), 5);
  EXPECT_EQ(value("palvimo_run_failures_by_class", {{"class", "drive_fault"}}), 0);
  EXPECT_GE(value("palvimo_run_files", {{"which", "probed"}}), 1);
  EXPECT_LE(value("palvimo_run_files", {{"which", "probed"}}), 5);
  EXPECT_EQ(value("palvimo_run_files", {{"which", "seen"}}), 6);
  EXPECT_EQ(value("palvimo_run_bytes", {{"step", "read"}}), 5 * 4096);
  // Nothing else is left beside it, such as the name it was written under.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home_.Root()), {}), 2) << "palvimo.prom and state";

  // A clean run whose metrics cannot be written ends as one not checked.
  const std::string nowhere = home_.Path("missing/palvimo.prom");
  EXPECT_EQ(Run({"-q", "-d", "0", "-n", "2", "--metrics", nowhere, tree_.Root()}), 2);
  EXPECT_NE(err_.find("palvimo-check: cannot write the metrics"), std::string::npos) << err_;
  EXPECT_NE(out_.find("no drive faults"), std::string::npos) << out_;
  EXPECT_EQ(Run({"--scrub", "--metrics", metrics, tree_.Root()}), 2);
}

// A drive whose SMART figures show sectors reallocated while it was checked
// has failed under the check, however clean every probe: the run's end
// finds it from the health read there, here a recorded smartctl sample.
TEST(Check_Drive_Health, SectorsReallocatedDuringTheRunAreADriveFaultEndingWithOne) {
  Temp_Tree tree;
  Temp_Tree home;
  for (int index = 0; index < 4; ++index)
    tree.Write_File("file" + std::to_string(index) + ".bin", std::string(4096, static_cast<char>(index)));
  const auto sample = [](const char* name) {
    return Parse_Smartctl_Json(Temp_Tree::Read_File(std::string(PALVIMO_TEST_DATA) + "/smartctl/" + name));
  };
  int health_reads = 0;
  Drive_Watch drive(Drive_Watch::Sources{
      [](const std::string& root) { return std::optional<Volume>(Volume{root, "ext4", "DATA", "/dev/sdz1"}); },
      [](const Volume& volume) {
        Drive_Identity identity;
        identity.device = volume.Device;
        identity.disk = "/dev/sdz";
        identity.model = "Test Disk";
        identity.file_system = volume.Type;
        return identity;
      },
      [&](const std::string& disk) {
        EXPECT_EQ(disk, "/dev/sdz");
        return sample(++health_reads == 1 ? "sata-healthy.json" : "sata-reallocated.json");
      }});
  Check_Options options;
  options.folder = tree.Root();
  options.delay = "0";
  options.probes = 3;
  options.json = true;
  options.report = home.Path("report.json");
  std::ostringstream out;
  std::ostringstream err;
  Terminal_Check check(options, out, err, Progress_Line::Mode::Off, -1, drive);
  EXPECT_EQ(check.Run(), Exit_Faults) << err.str();
  EXPECT_EQ(health_reads, 2);

  const std::vector<nlohmann::json> lines = Json_Lines(out.str());
  ASSERT_GE(lines.size(), 3u) << out.str();
  EXPECT_EQ(lines.front()["drive"]["model"], "Test Disk");
  EXPECT_EQ(lines.front()["drive"]["health"]["available"], true);
  const nlohmann::json& summary = lines.back();
  EXPECT_EQ(summary["verdict"], "drive faults found");
  EXPECT_EQ(summary["exit_status"], Exit_Faults);
  EXPECT_EQ(summary["good"], 3) << "the probes themselves were clean";
  EXPECT_EQ(summary["failed_by_kind"]["sectors_reallocated"], 1);
  EXPECT_EQ(summary["drive_health_change"]["worse"], true);
  const auto fault = std::find_if(lines.begin(), lines.end(),
                                  [](const nlohmann::json& line) { return line["type"] == "failure"; });
  ASSERT_NE(fault, lines.end()) << out.str();
  EXPECT_EQ((*fault)["kind"], "sectors_reallocated");
  EXPECT_EQ((*fault)["class"], "drive_fault");
  EXPECT_EQ((*fault)["path"], "/dev/sdz");

  const std::string lines_file = home.Path("lines.jsonl");
  std::ofstream(lines_file) << out.str();
  EXPECT_EQ(Schema_Problems({lines_file, options.report}), "");
}

}  // namespace palvimo::testing
