#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "program_run.h"
#include "support/temp_tree.h"

namespace palvimo::testing {
namespace {

// palvimo-check with a state folder of the test's own.
class History_Program : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& arguments) {
    Program_Run::Settings settings;
    settings.arguments = {PALVIMO_CHECK_PROGRAM};
    settings.arguments.insert(settings.arguments.end(), arguments.begin(), arguments.end());
    settings.environment = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "HOME=" + home_.Root(),
                            "XDG_STATE_HOME=" + home_.Path("state")};
    Program_Run run(settings);
    const int status = run.Wait();
    out_ = run.Out();
    err_ = run.Err();
    return status;
  }

  std::string Check_Folder(const std::string& name) const {
    const std::string folder = tree_.Make_Dir(name);
    for (int index = 0; index < 4; ++index)
      tree_.Write_File(name + "/file" + std::to_string(index) + ".bin", std::string(8192, static_cast<char>(index)));
    return folder;
  }

  Temp_Tree tree_;
  Temp_Tree home_;
  std::string out_;
  std::string err_;
};

// Two real runs are listed newest first; a record of another drive, newer
// still and with a damaged line, is listed too, with a note on the line it
// left out, and not at all once the list is of the tree's drive.
TEST_F(History_Program, ListsRealRunsNewestFirstAndFiltersByTheFoldersDrive) {
  EXPECT_EQ(Run({"--history"}), 0) << err_;
  EXPECT_EQ(out_.find("\n"), out_.size() - 1) << "a heading only: " << out_;

  const std::string first = Check_Folder("first");
  const std::string second = Check_Folder("second");
  ASSERT_EQ(Run({"--delay", "0", "--probes", "3", "--quiet", first}), 0) << err_;
  ASSERT_EQ(Run({"--delay", "0", "--probes", "3", "--quiet", second}), 0) << err_;
  home_.Write_File("state/palvimo/runs/20991231T235959Z.jsonl",
                   "{\"type\":\"run\",\"start\":\"2099-12-31T23:59:59Z\",\"root\":\"/elsewhere\","
                   "\"volume\":{\"id\":\"uuid:not-this-one\",\"label\":\"OTHER\"}}\n"
                   "{\"type\":\"failure\",\"cla\n"
                   "{\"type\":\"summary\",\"verdict\":\"no drive faults\",\"probes\":9,"
                   "\"failed_by_class\":{\"drive_fault\":0,\"not_checked\":0}}\n");

  ASSERT_EQ(Run({"--history"}), 0) << err_;
  const auto other_at = out_.find("/elsewhere");
  const auto second_at = out_.find(second + "\n");
  const auto first_at = out_.find(first + "\n");
  ASSERT_NE(other_at, std::string::npos) << out_;
  ASSERT_NE(second_at, std::string::npos) << out_;
  ASSERT_NE(first_at, std::string::npos) << out_;
  EXPECT_LT(other_at, second_at);
  EXPECT_LT(second_at, first_at);
  EXPECT_NE(out_.find("OTHER"), std::string::npos);
  EXPECT_NE(err_.find("20991231T235959Z.jsonl: line 2 is not JSON; left out"), std::string::npos) << err_;

  ASSERT_EQ(Run({"--history", first}), 0) << err_;
  EXPECT_EQ(out_.find("/elsewhere"), std::string::npos) << out_;
  EXPECT_NE(out_.find(first + "\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find(second + "\n"), std::string::npos) << out_;
}

TEST_F(History_Program, RecordsThatCannotBeListedOrAMissingFolderEndWithTwo) {
  home_.Write_File("state/palvimo/runs", "a file where the folder should be");
  EXPECT_EQ(Run({"--history"}), 2);
  EXPECT_NE(err_.find("palvimo-check: the records in "), std::string::npos) << err_;
  EXPECT_EQ(Run({"--history", tree_.Path("missing")}), 2);
  EXPECT_NE(err_.find("missing"), std::string::npos) << err_;
}

}  // namespace
}  // namespace palvimo::testing
