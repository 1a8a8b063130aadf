#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "check_fixture.h"
#include "engine/record_journal.h"
#include "engine/run_record.h"
#include "engine/run_report.h"

namespace palvimo::testing {
namespace {

class Run_Record_Test : public Check_Fixture {
 protected:
  Run_Record record;
  Folder_Walk walk{state, window, services, record};
};

// One pass that picks every file: two good probes, one whose copy's name a
// file of the user's already has, and one whose file is gone by its turn.
TEST_F(Run_Record_Test, RecordAddsUpAWalkWhoseProbesFailInKnownWays) {
  const std::string big = tree.Write_File("big.dat", std::string(std::size_t{3} << 20, 'b'));
  tree.Write_File("small.dat", std::string(100, 's'));
  const std::string taken = tree.Write_File("taken.dat", "t");
  tree.Write_File("taken.dat.PVF", "the user's own");
  const std::string gone = tree.Write_File("gone.dat", "g");
  // Before each probe the walk runs window events: the first one removes
  // the file that is to vanish.
  pump.At(1, [&] { std::filesystem::remove(gone); });
  random.Script.assign(5, 0.0f);

  record.Begin(tree.Root(), Run_Settings{".PVF", "0", true});
  walk.Walk_Root(*walk.Open_Root(tree.Root()));
  record.End();

  EXPECT_EQ(record.Probes(), 5u);
  EXPECT_EQ(record.Failed(), 2u);
  EXPECT_EQ(record.Failed_Of(Failure_Kind::Name_Taken), 1u);
  EXPECT_EQ(record.Failed_Of(Failure_Kind::Vanished), 1u);
  EXPECT_EQ(record.Failed_Of(Failure_Class::Drive_Fault), 0u);
  const std::uint64_t good_bytes = (std::uint64_t{3} << 20) + 100 + std::string("the user's own").size();
  EXPECT_EQ(record.Totals().bytes_read, good_bytes);
  EXPECT_EQ(record.Totals().bytes_written, good_bytes);
  EXPECT_EQ(record.Totals().bytes_read_back, good_bytes);
  ASSERT_TRUE(record.Slowest().has_value());
  EXPECT_EQ(record.Slowest()->path, big);
  EXPECT_GT(record.Read_Speed(), 0.0);
  EXPECT_GT(record.Write_Speed(), 0.0);

  ASSERT_EQ(record.Failures().size(), 2u);
  for (const Failure_Entry& failure : record.Failures()) {
    EXPECT_TRUE(failure.path == taken || failure.path == gone) << failure.path;
    EXPECT_EQ(failure.kind, failure.path == taken ? Failure_Kind::Name_Taken : Failure_Kind::Vanished);
  }
  const std::string verdict = Verdict_Text(record);
  EXPECT_EQ(verdict.rfind("Checked 3 files: no drive faults found. 2 files could not be checked: 1 vanished "
                          "(gone.dat), 1 copy's name taken (taken.dat). 5 probes of 5 files (5 of the 5 files seen). "
                          "Read ",
                          0),
            0u)
      << verdict;
}

// However long the run, the failures kept and the plot's points stay
// bounded, the plot still spans the whole run, and nothing is lost from
// the counts.
TEST(Run_Record_Bounds, FailuresAndPlotStayBoundedOverALongRun) {
  Run_Record record;
  record.Begin("/root", {});
  const Probe_Figures timed{1 << 20, 1 << 20, 1 << 20, std::chrono::milliseconds(2), std::chrono::milliseconds(3),
                            std::chrono::milliseconds(1)};
  for (int i = 0; i < 5000; ++i) record.Add_Probe("/root/f", timed);
  for (int i = 0; i < 1500; ++i) record.Add_Failure("/root/g", {}, Failure_Kind::Write, "cannot write");
  for (int i = 0; i < 1200; ++i) {
    record.Add_Failure("/root/locked" + std::to_string(i), {}, Failure_Kind::Permission_Denied, "cannot open");
  }
  record.End();

  EXPECT_EQ(record.Probes(), 7700u);
  EXPECT_EQ(record.Failures().size(), Run_Record::Failures_Kept);
  EXPECT_EQ(record.Failures_Not_Kept(), 1700u);
  // One file's failures of one kind make one group, however many.
  ASSERT_EQ(record.Failure_Groups().size(), Run_Record::Failure_Groups_Kept);
  EXPECT_EQ(record.Failure_Groups().front().path, "/root/g");
  EXPECT_EQ(record.Failure_Groups().front().count, 1500u);
  EXPECT_EQ(record.Failures_Not_Grouped(), 201u);
  EXPECT_EQ(record.Files_Not_Checked(), 1200u);
  EXPECT_EQ(record.Files_Probed(), 1202u);
  EXPECT_EQ(record.Not_Checked_Examples(Failure_Kind::Permission_Denied).size(), Run_Record::Examples_Kept);
  EXPECT_LE(record.Speeds().size(), Run_Record::Speed_Points_Kept);
  EXPECT_GE(record.Speeds().size(), Run_Record::Speed_Points_Kept / 2);
  EXPECT_TRUE(std::is_sorted(record.Speeds().begin(), record.Speeds().end(),
                             [](const Speed_Point& a, const Speed_Point& b) { return a.seconds < b.seconds; }));
  EXPECT_DOUBLE_EQ(record.Read_Speed(), 500.0 * 1024 * 1024);
}

std::vector<nlohmann::json> Lines_Of(const std::string& path) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// A record on disk reads back line by line, a name that is not UTF-8
// included, and only the newest records are kept.
TEST(Record_Journal_Test, EachRunIsKeptAsJsonLinesThatParseBack) {
  Temp_Tree tree;
  const std::string folder = tree.Make_Dir("state/palvimo/runs");
  // Older records, named as runs name theirs: "20000101T0000SSZ.jsonl".
  for (int i = 0; i < 120; ++i) {
    const std::string minute_second = std::to_string(100 + i / 60).substr(1) + std::to_string(100 + i % 60).substr(1);
    tree.Write_File("state/palvimo/runs/20000101T00" + minute_second + "Z.jsonl");
  }
  std::ostringstream log;
  std::string path;
  const std::string odd_name = tree.Path("odd\xff\n.dat");
  {
    Record_Journal journal(folder, log);
    Run_Record record;
    record.Begin(tree.Root(), Run_Settings{".PVF", "500", false});
    journal.Run_Began(record);
    journal.Probe_Failed(record, record.Add_Failure(odd_name, {}, Failure_Kind::Data_Changed, "the copy differs"));
    record.Add_Probe(tree.Path("fine.dat"), {});
    record.End();
    journal.Run_Ended(record);
  }  // the journal waits for its last lines
  size_t kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    kept += 1;
    if (entry.path().filename().string() >= "20") path = std::max(path, entry.path().string());
  }
  EXPECT_EQ(kept, Record_Journal::Records_Kept);
  ASSERT_FALSE(path.empty());

  const auto lines = Lines_Of(path);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["type"], "run");
  EXPECT_EQ(lines[0]["root"], tree.Root());
  EXPECT_EQ(lines[0]["settings"]["delay"], 500);
  EXPECT_EQ(lines[0]["settings"]["recurse"], false);
  EXPECT_TRUE(lines[0].contains("volume"));
  EXPECT_EQ(lines[1]["type"], "failure");
  EXPECT_EQ(lines[1]["kind"], "data_changed");
  EXPECT_EQ(lines[1]["path"], tree.Path("odd\\xff\\n.dat"));
  std::string hex;
  for (const unsigned char c : odd_name) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", c);
    hex += two;
  }
  EXPECT_EQ(lines[1]["path_hex"], hex);
  EXPECT_EQ(lines[2]["type"], "summary");
  EXPECT_EQ(lines[2]["probes"], 2);
  EXPECT_EQ(lines[2]["failed"], 1);
  EXPECT_EQ(lines[2]["failed_by_kind"]["data_changed"], 1);
  EXPECT_TRUE(log.str().empty()) << log.str();
}

// A record that cannot be written (here its folder would have to be made
// inside a file) never holds the run up; it says why, once.
TEST_F(Run_Record_Test, RunGoesOnWhenItsRecordCannotBeWritten) {
  const std::string blocker = tree.Write_File("not-a-folder");
  Record_Journal journal(blocker + "/runs", failure_log);
  services.Journal = &journal;
  Run_Control control{state, window, services};
  window.Root = tree.Make_Dir("data");
  tree.Write_File("data/a.dat");
  random.Script = {0.0f};
  pump.At(1, [&] { control.Start_Click(); });
  control.Start_Click();

  EXPECT_EQ(window.Count, "1");
  EXPECT_EQ(window.Verdict.rfind("Checked 1 file: no drive faults found. 1 probe of 1 file (1 of the 1 file seen).", 0),
            0u)
      << window.Verdict;
  for (int waited = 0; !journal.Problem() && waited < 1000; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(journal.Problem().has_value());
  EXPECT_NE(journal.Problem()->find("not-a-folder"), std::string::npos) << *journal.Problem();
}

}  // namespace
}  // namespace palvimo::testing
