#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "engine/record_json.h"
#include "engine/run_report.h"
#include "support/random_content.h"
#include "support/silent_change.h"
#include "check_fixture.h"

namespace palvimo::testing {
namespace {

constexpr std::uint64_t MiB = std::uint64_t{1} << 20;

// The real copier, with a hand that meddles with the tree after a copy, as
// a drive that stores copies over older data would.
class Meddling_Copier : public Probe_Copier {
 public:
  using Meddle = std::function<void(std::size_t copies, const std::vector<std::string>& copied)>;

  Meddling_Copier(Probe_Copier& real, Meddle meddle) : real_(real), meddle_(std::move(meddle)) {}

  Probe_Figures Copy_File(Folder& folder, const std::string& name, const std::string& copy_name) override {
    Probe_Figures figures = real_.Copy_File(folder, name, copy_name);
    copied.push_back(folder.Path_Of(name));
    meddle_(copied.size(), copied);
    return figures;
  }
  void Delete_Copy() override { real_.Delete_Copy(); }
  bool Remove_Leftover(Folder& folder, const std::string& name) override { return real_.Remove_Leftover(folder, name); }
  std::string Know_Volume(Folder& root) override { return real_.Know_Volume(root); }

  std::vector<std::string> copied;

 private:
  Probe_Copier& real_;
  Meddle meddle_;
};

class Overwrite_Guard_Test : public Check_Fixture {
 protected:
  Overwrite_Guard_Test() {
    for (const char* name : {"a.raw", "b.raw", "c.raw", "d.raw"}) {
      tree.Write_File(std::string("data/") + name, Random_Content(3 * MiB + 7));
    }
  }

  Run_Record Walk_With(Meddling_Copier& meddling) {
    Check_Services with_copier{services.Files, meddling, services.Pause, services.Random, services.Events,
                               services.Log};
    Run_Record record;
    record.Begin(data, {});
    Folder_Walk walk(state, window, with_copier, record);
    for (int i = 0; i < 4; ++i) random.Script.push_back(0.0f);
    const auto root = walk.Open_Root(data);
    walk.Walk_Root(*root);
    record.End();
    return record;
  }

  const std::string data = tree.Path("data");
};

TEST_F(Overwrite_Guard_Test, DriveChangingAFileItHeldAfterACopyStopsWritingWithTheVerdict) {
  Meddling_Copier meddling(*copier, [](std::size_t copies, const std::vector<std::string>& copied) {
    if (copies == 2) Change_Silently(copied[0], 2 * MiB + 10);
  });
  const Run_Record record = Walk_With(meddling);

  // The copy after which the drive changed the file was the last.
  EXPECT_EQ(meddling.copied.size(), 2u);
  EXPECT_TRUE(state.Stop_Requested);
  EXPECT_TRUE(Copies_Left().empty());
  ASSERT_TRUE(record.Writing_Stopped());
  EXPECT_EQ(record.Files_Changed_After_Copies(), 1u);
  ASSERT_EQ(record.Failed_Of(Failure_Kind::Silent_Change), 1u);
  EXPECT_EQ(record.Failures().back().path, meddling.copied[0]);
  EXPECT_EQ(record.Failures().back().reason, Silent_Change_Reason(2 * MiB) + " after copies were written");

  const std::string verdict = Verdict_Text(record);
  EXPECT_EQ(verdict.rfind("The drive changed 1 file it already held after copies were written to it (after " +
                              Format_Bytes(record.Totals().bytes_written) + " of copies, with ",
                          0),
            0u)
      << verdict;
  EXPECT_NE(verdict.find("said to be free): it may hold less than it claims (a counterfeit), or be failing. "
                         "Writing was stopped; copy what you can off it now. Checked "),
            std::string::npos)
      << verdict;
  const nlohmann::json summary = Summary_Json(record, {});
  EXPECT_EQ(summary["ended_because"], "drive_changed_files");
  EXPECT_EQ(summary["files_changed_after_copies"], 1);
  EXPECT_GT(summary["volume_bytes"].get<std::uint64_t>(), 0u);
}

TEST_F(Overwrite_Guard_Test, FilesTheUserEditsOrRemovesBetweenCopiesAreLetGo) {
  Meddling_Copier meddling(*copier, [](std::size_t copies, const std::vector<std::string>& copied) {
    if (copies == 2) {
      // A new modification time: the user's edit.
      const int fd = open(copied[0].c_str(), O_WRONLY);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(pwrite(fd, "edit", 4, 0), 4);
      const timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 100, 0}};
      ASSERT_EQ(futimens(fd, later), 0);
      close(fd);
    }
    if (copies == 3) {
      ASSERT_EQ(std::remove(copied[1].c_str()), 0);
    }
  });
  const Run_Record record = Walk_With(meddling);
  EXPECT_EQ(meddling.copied.size(), 4u);
  EXPECT_FALSE(record.Writing_Stopped());
  EXPECT_EQ(record.Failed(), 0u) << Report_Text(record);
  EXPECT_FALSE(state.Stop_Requested);
}

}  // namespace
}  // namespace palvimo::testing
