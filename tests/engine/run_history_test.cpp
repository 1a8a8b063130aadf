#include "engine/run_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/record_journal.h"
#include "engine/run_record.h"
#include "support/temp_tree.h"

namespace palvimo::testing {
namespace {

using namespace std::chrono_literals;

bool Has_Line(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&part](const std::string& line) { return line.find(part) != std::string::npos; });
}

std::vector<std::string> Lines_Of(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void Write_Lines(const std::string& path, const std::vector<std::string>& lines) {
  std::ofstream out(path, std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
}

// Two runs kept by the journal as the programs keep them: one seen to its
// end with a drive fault, one cut short before its summary. A line damaged
// in the first and a last line cut in half in the second are left out with
// a note; everything else the lines say is listed, newest first.
TEST(Run_History_Test, ListsRecordsTheJournalWroteAndNotesDamagedLines) {
  Temp_Tree tree;
  const std::string folder = tree.Make_Dir("state/palvimo/runs");
  const std::string root = tree.Make_Dir("checked");
  tree.Write_File("state/palvimo/runs/my-notes.jsonl", "not a record of ours");
  std::ostringstream log;
  std::string finished_path;
  std::string cut_path;
  {
    Record_Journal journal(folder, log);
    Run_Record record;
    record.Begin(root, Run_Settings{".PVF", "0", true});
    journal.Run_Began(record);
    Probe_Figures figures;
    figures.bytes_read = figures.bytes_written = figures.bytes_read_back = 4'000'000;
    figures.read_time = 40ms;
    figures.write_time = 80ms;
    figures.read_back_time = 20ms;
    record.Add_Probe(root + "/a.bin", figures);
    journal.Probe_Failed(record, record.Add_Failure(root + "/b.bin", {}, Failure_Kind::Read, "Input/output error", 5));
    record.End();
    journal.Run_Ended(record);
  }
  {
    Record_Journal journal(folder, log);
    Run_Record record;
    record.Begin(root, Run_Settings{".PVF", "0", true});
    journal.Run_Began(record);
    journal.Probe_Failed(record, record.Add_Failure(root + "/locked.bin", {}, Failure_Kind::Permission_Denied,
                                                    "Permission denied", 13));
    // The program ends here, as a crash would: no summary.
  }
  ASSERT_TRUE(log.str().empty()) << log.str();

  Run_History history = Read_Run_History(folder);
  ASSERT_FALSE(history.problem) << *history.problem;
  ASSERT_EQ(history.runs.size(), 2u);
  // The run cut short began last, so it comes first.
  EXPECT_TRUE(history.runs[0].unfinished);
  cut_path = history.runs[0].file;
  finished_path = history.runs[1].file;

  std::vector<std::string> lines = Lines_Of(finished_path);
  ASSERT_EQ(lines.size(), 3u);
  lines.insert(lines.begin() + 1, "{\"type\": \"failure\", \"path\": \"/x");
  Write_Lines(finished_path, lines);
  std::ofstream(cut_path, std::ios::app) << "{\"type\":\"failure\",\"ti";

  history = Read_Run_History(folder);
  ASSERT_EQ(history.runs.size(), 2u);
  const Past_Run& cut = history.runs[0];
  const Past_Run& finished = history.runs[1];

  EXPECT_TRUE(cut.unfinished);
  EXPECT_EQ(cut.folder, root);
  EXPECT_EQ(cut.not_checked, 1u);
  EXPECT_EQ(cut.drive_faults, 0u);
  EXPECT_FALSE(cut.seconds);
  EXPECT_TRUE(cut.verdict.empty());
  EXPECT_TRUE(Has_Line(cut.notes, "line 3 was cut short")) << ::testing::PrintToString(cut.notes);

  EXPECT_FALSE(finished.unfinished);
  EXPECT_EQ(finished.folder, root);
  EXPECT_EQ(finished.probes, 2u);
  EXPECT_EQ(finished.drive_faults, 1u);
  EXPECT_EQ(finished.not_checked, 0u);
  EXPECT_EQ(finished.verdict, "drive faults found");
  EXPECT_NEAR(finished.read_speed, 1e8, 1e6);
  EXPECT_NEAR(finished.write_speed, 5e7, 1e6);
  EXPECT_NEAR(finished.read_back_speed, 2e8, 2e6);
  ASSERT_TRUE(finished.seconds);
  EXPECT_GE(*finished.seconds, 0);
  ASSERT_EQ(finished.notes.size(), 1u) << ::testing::PrintToString(finished.notes);
  EXPECT_TRUE(Has_Line(finished.notes, "line 2 is not JSON"));
  EXPECT_LE(finished.start, cut.start);
#ifdef __linux__
  // Both runs were of the same volume, which holds the tree now.
  EXPECT_FALSE(finished.drive_key.empty());
  EXPECT_EQ(finished.drive_key, cut.drive_key);
  EXPECT_EQ(Runs_Of_Drive(history.runs, finished.drive_key).size(), 2u);
  EXPECT_TRUE(Matches(finished, Match_Of_Folder(root)));
#endif

  // Read back whole, the record still shows its fault and says what was left out.
  const std::vector<std::string> text = Record_Text_Lines(Read_Record_Lines(finished_path));
  EXPECT_TRUE(Has_Line(text, "b.bin  drive_fault/read: Input/output error")) << ::testing::PrintToString(text);
  EXPECT_TRUE(Has_Line(text, "Note: line 2 is not JSON"));
  EXPECT_TRUE(Has_Line(Record_Text_Lines(Read_Record_Lines(cut_path)), "ended without a summary"));
}

// No run kept yet is an empty history; a place that cannot be listed is a
// problem said, not an empty one.
TEST(Run_History_Test, MissingFolderIsEmptyAndAnUnlistableOneIsAProblem) {
  Temp_Tree tree;
  const Run_History none = Read_Run_History(tree.Path("state/palvimo/runs"));
  EXPECT_FALSE(none.problem);
  EXPECT_TRUE(none.runs.empty());
  tree.Write_File("runs", "a file where the folder should be");
  const Run_History unreadable = Read_Run_History(tree.Path("runs"));
  ASSERT_TRUE(unreadable.problem);
  EXPECT_NE(unreadable.problem->find(tree.Path("runs")), std::string::npos);
}

TEST(Run_History_Test, LastResultSaysHowLongAgoAndWhatWasFound) {
  const auto now = std::chrono::system_clock::now();
  Past_Run clean;
  clean.start = now - 3 * 24h - 1h;
  clean.verdict = "no drive faults";
  Past_Run faulty = clean;
  faulty.start = now - 2h;
  faulty.verdict = "drive faults found";
  faulty.drive_faults = 1204;
  EXPECT_EQ(Last_Result_Text({clean, faulty}, now), "Last checked 3 days ago: no drive faults");
  EXPECT_EQ(Last_Result_Text({faulty, clean}, now), "Last checked 2 hours ago: 1,204 drive faults");
  EXPECT_EQ(Last_Result_Text({}, now), "");
}

}  // namespace
}  // namespace palvimo::testing
