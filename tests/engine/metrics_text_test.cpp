#include "engine/metrics_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/temp_tree.h"

namespace palvimo {
namespace {

using testing::Temp_Tree;

struct Sample {
  std::string name;
  std::map<std::string, std::string> labels;  // unescaped
  double value = 0;
};

// Reads the text exposition format as a collector does, failing the test on
// any line outside its grammar: a metric must have HELP and TYPE before its
// first sample, label values are quoted with only \\, \" and \n escaped,
// and each value is a number.
std::vector<Sample> Parse_Exposition(const std::string& text) {
  static const std::regex Name("[a-zA-Z_:][a-zA-Z0-9_:]*");
  static const std::regex Help("# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) [^\\n]*");
  static const std::regex Type("# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram|summary|untyped)");
  std::set<std::string> helped, typed;
  std::vector<Sample> samples;
  EXPECT_TRUE(text.empty() || text.back() == '\n') << "the last line must end";
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_match(line, match, Help)) {
      EXPECT_TRUE(helped.insert(match[1]).second) << "HELP twice: " << line;
      continue;
    }
    if (std::regex_match(line, match, Type)) {
      EXPECT_TRUE(helped.count(match[1])) << "TYPE before HELP: " << line;
      EXPECT_TRUE(typed.insert(match[1]).second) << "TYPE twice: " << line;
      continue;
    }
    Sample sample;
    std::size_t at = line.find_first_of("{ ");
    sample.name = line.substr(0, at);
    EXPECT_TRUE(std::regex_match(sample.name, Name)) << line;
    EXPECT_TRUE(typed.count(sample.name)) << "sample without TYPE: " << line;
    if (at != std::string::npos && line[at] == '{') {
      ++at;
      while (at < line.size() && line[at] != '}') {
        const std::size_t equals = line.find("=\"", at);
        if (equals == std::string::npos) {
          ADD_FAILURE() << "bad label in: " << line;
          return samples;
        }
        const std::string label = line.substr(at, equals - at);
        EXPECT_TRUE(std::regex_match(label, Name)) << line;
        std::string value;
        for (at = equals + 2; at < line.size() && line[at] != '"'; ++at) {
          if (line[at] != '\\') {
            value += line[at];
            continue;
          }
          const char next = at + 1 < line.size() ? line[++at] : '?';
          EXPECT_TRUE(next == '\\' || next == '"' || next == 'n') << "bad escape in: " << line;
          value += next == 'n' ? '\n' : next;
        }
        EXPECT_LT(at, line.size()) << "unclosed label value: " << line;
        sample.labels[label] = value;
        ++at;
        if (at < line.size() && line[at] == ',') ++at;
      }
      ++at;
    }
    EXPECT_TRUE(at < line.size() && line[at] == ' ') << line;
    const std::string number = at < line.size() ? line.substr(at + 1) : "";
    std::size_t used = 0;
    try {
      sample.value = std::stod(number, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    EXPECT_TRUE(!number.empty() && used == number.size()) << "bad value: " << line;
    samples.push_back(sample);
  }
  return samples;
}

const Sample* Find(const std::vector<Sample>& samples, const std::string& name,
                   const std::map<std::string, std::string>& labels) {
  for (const Sample& sample : samples) {
    if (sample.name != name) continue;
    const bool matches = std::all_of(labels.begin(), labels.end(), [&sample](const auto& label) {
      const auto found = sample.labels.find(label.first);
      return found != sample.labels.end() && found->second == label.second;
    });
    if (matches) return &sample;
  }
  return nullptr;
}

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
