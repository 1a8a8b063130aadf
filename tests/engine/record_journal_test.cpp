#include "engine/record_journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "engine/run_record.h"
#include "support/temp_tree.h"

namespace palvimo::testing {
namespace {

namespace fs = std::filesystem;

// "20200101T00MMSSZ.jsonl" for the nth second of that day's first hour.
std::string Record_Name(int second, const std::string& suffix = "") {
  char stem[32];
  std::snprintf(stem, sizeof stem, "20200101T00%02d%02dZ", second / 60, second % 60);
  return stem + suffix + ".jsonl";
}

std::set<std::string> Names_In(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

class Record_Folder_Test : public ::testing::Test {
 protected:
  // Records one empty run in `folder` and waits until the journal is done
  // with it: its file summed up, or a problem found.
  std::optional<std::string> Record_Run(const std::string& folder) {
    Run_Record record;
    record.Begin(tree.Make_Dir("checked"), Run_Settings{".PVF", "0", true});
    record.End();
    Record_Journal journal(folder, log);
    journal.Run_Began(record);
    journal.Run_Ended(record);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!journal.Problem() && std::chrono::steady_clock::now() < give_up) {
      const std::string path = journal.Path();
      if (!path.empty() && Temp_Tree::Read_File(path).find("\"summary\"") != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    written = journal.Path();
    return journal.Problem();
  }

  // A folder of records no run of ours made, as another program keeps.
  std::string Foreign_Folder(const std::string& relative) const {
    const std::string folder = tree.Make_Dir(relative);
    for (int second = 0; second < 120; ++second) tree.Write_File(relative + "/" + Record_Name(second), "theirs");
    return folder;
  }

  Temp_Tree tree;
  std::ostringstream log;
  std::string written;
};

// The folder is full: the two oldest records go to make room, and nothing
// else, whatever its name.
TEST_F(Record_Folder_Test, PruningRemovesOnlyTheOldestRecordsARunMade) {
  const std::string runs = tree.Make_Dir("state/palvimo/runs");
  for (int second = 0; second < 100; ++second) tree.Write_File("state/palvimo/runs/" + Record_Name(second));
  // Begun in the same second as the oldest, so made after it.
  tree.Write_File("state/palvimo/runs/" + Record_Name(0, "-1"));
  const std::set<std::string> users = {"0-my-notes.jsonl", "notes-" + Record_Name(2), Record_Name(3, "-01"),
                                       "19990101T000000Z.jsonl", "19990101T000001Z.jsonl"};
  tree.Write_File("state/palvimo/runs/0-my-notes.jsonl", "mine");
  tree.Write_File("state/palvimo/runs/notes-" + Record_Name(2), "mine");
  tree.Write_File("state/palvimo/runs/" + Record_Name(3, "-01"), "mine");
  // A folder and a link named as a record, both older than every record.
  tree.Write_File("state/palvimo/runs/19990101T000000Z.jsonl/inside", "mine");
  const std::string outside = tree.Write_File("outside.txt", "mine");
  fs::create_symlink(outside, runs + "/19990101T000001Z.jsonl");

  ASSERT_EQ(Record_Run(runs), std::nullopt);
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(fs::path(written).parent_path(), runs);

  const std::set<std::string> names = Names_In(runs);
  for (const std::string& name : users) EXPECT_EQ(names.count(name), 1u) << name;
  EXPECT_EQ(Temp_Tree::Read_File(outside), "mine");
  EXPECT_EQ(names.count(Record_Name(0)), 0u);
  EXPECT_EQ(names.count(Record_Name(0, "-1")), 0u);
  EXPECT_EQ(names.count(Record_Name(1)), 1u);
  EXPECT_EQ(names.count(fs::path(written).filename().string()), 1u);
  EXPECT_EQ(names.size(), users.size() + Record_Journal::Records_Kept);
}

// A runs folder, or the folder holding it, that leads elsewhere through a
// link is not written in, nor pruned; nor is one of another user's.
TEST_F(Record_Folder_Test, RunsFolderThatIsALinkOrAnotherUsersIsLeftAlone) {
  const std::string theirs = Foreign_Folder("other-program");
  const std::set<std::string> before = Names_In(theirs);

  tree.Make_Dir("state/palvimo");
  fs::create_directory_symlink(theirs, tree.Path("state/palvimo/runs"));
  const std::optional<std::string> linked = Record_Run(tree.Path("state/palvimo/runs"));
  ASSERT_TRUE(linked.has_value());
  EXPECT_NE(linked->find("is a link"), std::string::npos) << *linked;
  EXPECT_TRUE(written.empty());
  EXPECT_EQ(Names_In(theirs), before);

  const std::string holder = Foreign_Folder("other-state/runs");
  fs::create_directory_symlink(tree.Path("other-state"), tree.Path("linked-state"));
  const std::optional<std::string> linked_holder = Record_Run(tree.Path("linked-state/runs"));
  ASSERT_TRUE(linked_holder.has_value());
  EXPECT_NE(linked_holder->find("is a link"), std::string::npos) << *linked_holder;
  EXPECT_EQ(Names_In(holder).size(), 120u);

  if (geteuid() != 0) GTEST_SKIP() << "a folder of another user's needs root to make";
  const std::string foreign = Foreign_Folder("foreign/runs");
  ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
  const std::optional<std::string> not_ours = Record_Run(foreign);
  ASSERT_TRUE(not_ours.has_value());
  EXPECT_NE(not_ours->find("another user"), std::string::npos) << *not_ours;
  EXPECT_EQ(Names_In(foreign).size(), 120u);
}

}  // namespace
}  // namespace palvimo::testing
