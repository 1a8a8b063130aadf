#include "engine/metrics_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/exposition.h"
#include "support/temp_tree.h"

namespace palvimo {
namespace {

using testing::Temp_Tree;

using testing::Find;
using testing::Parse_Exposition;
using testing::Sample;

Run_Record Record_Over(const std::string& root) {
  Run_Record record;
  record.Begin(root, Run_Settings{".PVF", "0", true});
  Probe_Figures figures;
  figures.bytes_read = figures.bytes_written = figures.bytes_read_back = 4'000'000;
  figures.read_time = figures.write_time = figures.read_back_time = std::chrono::milliseconds(40);
  record.Add_Probe(root + "/a", figures);
  record.Add_Probe(root + "/b", figures);
  record.Add_Failure(root + "/c", {}, Failure_Kind::Data_Changed, "data changed");
  record.Add_Failure(root + "/d", {}, Failure_Kind::Permission_Denied, "cannot open: Permission denied", EACCES);
  record.End();
  return record;
}

// A root folder whose name holds every character the format escapes comes
// back exactly; a name that is no UTF-8 comes back as the program escapes
// names everywhere else.
TEST(Metrics_Text_Test, ParsesAsExpositionWithTheRunsFigures) {
  const std::string odd = "/mnt/odd \"drive\"\\ a\nb";
  EXPECT_EQ(Parse_Exposition(Metrics_Text(Record_Over(odd))).at(0).labels.at("root"), odd);
  const std::string root = odd + " \xff";
  const std::vector<Sample> samples = Parse_Exposition(Metrics_Text(Record_Over(root)));
  ASSERT_FALSE(samples.empty());
  for (const Sample& sample : samples) {
    EXPECT_TRUE(sample.name.starts_with("palvimo_")) << sample.name;
    EXPECT_EQ(sample.labels.at("root"), "/mnt/odd \"drive\"\\\\ a\\nb \\xff");
  }
  const auto value = [&samples](const std::string& name, const std::map<std::string, std::string>& labels = {}) {
    const Sample* sample = Find(samples, name, labels);
    return sample ? sample->value : -1;
  };
  EXPECT_EQ(value("palvimo_run_files_checked"), 4);
  EXPECT_EQ(value("palvimo_run_files_good"), 2);
  EXPECT_EQ(value("palvimo_run_files", {{"which", "probed"}}), 4);
  EXPECT_EQ(value("palvimo_run_files", {{"which", "checked"}}), 3) << "a drive fault checked its file";
  EXPECT_EQ(value("palvimo_run_files", {{"which", "not_checked"}}), 1);
  EXPECT_EQ(value("palvimo_run_files_complete"), 1);
  EXPECT_EQ(value("palvimo_run_failures", {{"kind", "data_changed"}, {"class", "drive_fault"}}), 1);
  EXPECT_EQ(value("palvimo_run_failures", {{"kind", "permission_denied"}, {"class", "not_checked"}}), 1);
  EXPECT_EQ(value("palvimo_run_failures", {{"kind", "read"}}), 0);
  EXPECT_EQ(value("palvimo_run_failures_by_class", {{"class", "drive_fault"}}), 1);
  EXPECT_EQ(value("palvimo_run_bytes", {{"step", "read_back"}}), 8'000'000);
  EXPECT_DOUBLE_EQ(value("palvimo_run_speed_bytes_per_second", {{"step", "write"}}), 1e8);
  EXPECT_GE(value("palvimo_run_end_time_seconds"), value("palvimo_run_start_time_seconds"));
  EXPECT_GT(value("palvimo_run_start_time_seconds"), 1.7e9);
  EXPECT_EQ(value("palvimo_run_ended_early"), 0);
}

std::vector<std::string> Names_In(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  return names;
}

TEST(Metrics_Text_Test, FileIsReplacedWholeAndReadableByACollector) {
  const Temp_Tree tree;
  const std::string path = tree.Write_File("metrics/palvimo.prom", "the last run's metrics\n");
  const std::string text = Metrics_Text(Record_Over("/mnt/drive"));
  Write_Metrics_File(path, text);
  std::ifstream file(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), text);
  EXPECT_EQ(Names_In(tree.Path("metrics")), std::vector<std::string>{"palvimo.prom"});
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
}

// A path whose place cannot take it leaves the old file as it was, and no
// temporary file.
TEST(Metrics_Text_Test, FailedWriteLeavesNothingBehind) {
  const Temp_Tree tree;
  EXPECT_THROW(Write_Metrics_File(tree.Path("no such folder/palvimo.prom"), "x 1\n"), Check_Error);
  const std::string taken = tree.Make_Dir("metrics/palvimo.prom");
  tree.Write_File("metrics/palvimo.prom/keep", "kept");
  EXPECT_THROW(Write_Metrics_File(taken, "x 1\n"), Check_Error);
  EXPECT_EQ(Names_In(tree.Path("metrics")), std::vector<std::string>{"palvimo.prom"});
}

}  // namespace
}  // namespace palvimo
