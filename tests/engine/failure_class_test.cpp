#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>

#include "check_fixture.h"
#include "engine/distinct_count.h"
#include "engine/run_report.h"
#include "platform/copier_hooks.h"
#include "support/tmpfs_mount.h"

namespace palvimo::testing {
namespace {

// The name of the file open at `fd`.
std::string Name_Of(int fd) {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).filename().string();
}

// Real walks over a temporary tree whose probes fail for the drive's doing
// or for none of it; reads of the files named in read_errors fail with the
// error given, as a drive or a locked file would make them.
class Failure_Class_Test : public Check_Fixture {
 protected:
  void Walk_Root(const std::string& path) { walk.Walk_Root(*walk.Open_Root(path)); }

  Copier_Hooks Failing_Reads() {
    Copier_Hooks hooks;
    hooks.read_source = [this](int fd, void* buffer, std::size_t size) -> ssize_t {
      const auto found = read_errors.find(Name_Of(fd));
      if (found == read_errors.end()) return read(fd, buffer, size);
      errno = found->second;
      return -1;
    };
    return hooks;
  }

  // Set before the walk, read on the worker.
  std::map<std::string, int> read_errors;
  std::unique_ptr<Probe_Copier> hooked_copier = Make_Probe_Copier(worker, Failing_Reads());
  Check_Services hooked{files, *hooked_copier, pauser, random, pump, failure_log};
  Run_Record record;
  Folder_Walk walk{state, window, hooked, record};
};

// A file its user may not read, one removed before its turn, one whose
// copy's name a file of the user's holds and one whose name leaves no room
// for the copy's: none of them is the drive's fault, and the verdict says
// which files went unchecked and why, each once however often it was picked.
TEST_F(Failure_Class_Test, FilesThatCannotBeCheckedAreNamedApartFromTheDrivesFaults) {
  const std::string locked = tree.Write_File("root/locked.bin", "secret");
  if (geteuid() == 0) {
    // chmod 000 does not stop root: the file is locked as its reads see it.
    read_errors["locked.bin"] = EACCES;
  } else {
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  }
  const std::string gone = tree.Write_File("root/gone.dat", "g");
  const std::string taken = tree.Write_File("root/taken.dat", "t");
  tree.Write_File("root/taken.dat.PVF", "the user's own");
  const std::string long_name(255, 'n');
  tree.Write_File("root/" + long_name, "l");
  tree.Write_File("root/good.dat", std::string(5000, 'x'));
  pump.At(1, [&] { std::filesystem::remove(gone); });
  random.Script.assign(20, 0.0f);

  record.Begin(tree.Path("root"), Run_Settings{".PVF", "0", true});
  Walk_Root(tree.Path("root"));
  Walk_Root(tree.Path("root"));
  record.End();

  EXPECT_EQ(record.Failed_Of(Failure_Class::Drive_Fault), 0u);
  EXPECT_EQ(record.Failed_Of(Failure_Kind::Permission_Denied), 2u);
  EXPECT_EQ(record.Failed_Of(Failure_Kind::Vanished), 1u);
  EXPECT_EQ(record.Failed_Of(Failure_Kind::Name_Taken), 2u);
  EXPECT_EQ(record.Failed_Of(Failure_Kind::Name_Too_Long), 2u);
  // Six files in the first pass, five in the second with one gone.
  EXPECT_EQ(record.Probes(), 11u);
  EXPECT_EQ(record.Files_Probed(), 6u);
  EXPECT_EQ(record.Files_Seen(), 6u);
  EXPECT_EQ(record.Files_Checked(), 2u);
  EXPECT_EQ(record.Files_Not_Checked(), 4u);
  EXPECT_TRUE(Copies_Left() == std::vector<std::string>{tree.Path("root/taken.dat.PVF")});

  const std::string verdict = Verdict_Text(record);
  EXPECT_EQ(verdict.rfind("Checked 2 files: no drive faults found. 4 files could not be checked: 1 permission denied "
                          "(locked.bin), 1 vanished (gone.dat), 1 copy's name taken (taken.dat), 1 name too long for "
                          "a copy (" + long_name + "). 11 probes of 6 files (6 of the 6 files seen). Read ",
                          0),
            0u)
      << verdict;

  // The report gives each file's failures of a kind on one line.
  const std::string report = Report_Text(record);
  EXPECT_NE(report.find("Probes: 11 of 6 files (6 of the 6 files seen)"), std::string::npos) << report;
  EXPECT_EQ(report.find("Drive faults"), std::string::npos) << report;
  EXPECT_NE(report.find("Not checked: 4 files in 7 probes: 2 permission denied, 1 vanished, 2 copy's name taken, "
                        "2 name too long for a copy\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("Not checked (file: reason, how often, when):\n  "), std::string::npos) << report;
  EXPECT_NE(report.find("  " + locked + ": cannot "), std::string::npos) << report;
  EXPECT_NE(report.find(": Permission denied, 2 times, "), std::string::npos) << report;
  EXPECT_NE(report.find(gone + ": cannot open: No such file or directory, once, "), std::string::npos) << report;
  ASSERT_EQ(record.Failure_Groups().size(), 4u);
  for (const Failure_Group& group : record.Failure_Groups()) {
    EXPECT_EQ(group.count, group.path == gone ? 1u : 2u) << group.path;
    EXPECT_EQ(group.on_copy, group.path == taken || group.path == tree.Path("root/" + long_name)) << group.path;
  }
  EXPECT_FALSE(Nothing_Checked_Reason(record).has_value());
}

// A read the drive fails is its fault, found among files that are fine.
TEST_F(Failure_Class_Test, ReadErrorIsADriveFault) {
  tree.Write_File("root/bad.dat", "b");
  tree.Write_File("root/fine.dat", "f");
  read_errors["bad.dat"] = EIO;
  random.Script.assign(2, 0.0f);

  record.Begin(tree.Path("root"), {});
  Walk_Root(tree.Path("root"));
  record.End();

  EXPECT_EQ(record.Failed_Of(Failure_Class::Drive_Fault), 1u);
  EXPECT_EQ(record.Failed_Of(Failure_Kind::Read), 1u);
  EXPECT_EQ(record.Files_Not_Checked(), 0u);
  EXPECT_EQ(Verdict_Text(record),
            "Checked 2 files: 1 drive fault (1 cannot read). 2 probes of 2 files (2 of the 2 files seen).");
  const std::string report = Report_Text(record);
  EXPECT_NE(report.find("Drive faults (file: reason, how often, when):\n  " + tree.Path("root/bad.dat") +
                        ": cannot read: Input/output error, once, "),
            std::string::npos)
      << report;
}

// A folder where no copy can be made: the verdict says so and why, in place
// of a count of failures.
TEST_F(Failure_Class_Test, RunThatCanCheckNothingSaysWhy) {
  const std::string folder = tree.Make_Dir("root");
  tree.Write_File("root/a.dat", "a");
  tree.Write_File("root/b.dat", "b");
  std::string why;
  std::unique_ptr<Tmpfs_Mount> mount;
  if (geteuid() == 0) {
    // Root writes in any folder; a read-only file system stops it.
    mount = std::make_unique<Tmpfs_Mount>(folder, "1m");
    if (!mount->Mounted()) GTEST_SKIP() << "root here cannot mount the read-only file system this needs";
    tree.Write_File("root/a.dat", "a");
    tree.Write_File("root/b.dat", "b");
    ASSERT_EQ(::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    why = "Read-only file system";
  } else {
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    why = "Permission denied";
  }
  random.Script.assign(2, 0.0f);

  record.Begin(folder, {});
  Walk_Root(folder);
  record.End();

  EXPECT_EQ(record.Probes(), 2u);
  EXPECT_EQ(record.Checked(), 0u);
  const std::string sentence = "No file could be checked: copies cannot be written in " + folder + " (" + why + ").";
  EXPECT_EQ(Nothing_Checked_Reason(record), sentence);
  EXPECT_EQ(Verdict_Text(record), sentence);
}

// The count of distinct files is exact, then stops at its bound and says so
// rather than grow.
TEST(Distinct_Count_Test, CountsEachFingerprintOnceUpToItsBound) {
  Distinct_Count count;
  for (std::uint64_t round = 0; round < 2; ++round) {
    for (std::uint64_t i = 0; i < 1000; ++i) EXPECT_EQ(count.Add(i * 0x9E3779B97F4A7C15u), round == 0);
  }
  EXPECT_EQ(count.Count(), 1000u);
  EXPECT_TRUE(count.Complete());
  for (std::uint64_t i = 1000; i < Distinct_Count::Most_Kept + 10; ++i) count.Add(i * 0x9E3779B97F4A7C15u);
  EXPECT_EQ(count.Count(), Distinct_Count::Most_Kept);
  EXPECT_FALSE(count.Complete());
  EXPECT_FALSE(count.Add(5 * 0x9E3779B97F4A7C15u));
}

}  // namespace
}  // namespace palvimo::testing
