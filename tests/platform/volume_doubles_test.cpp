#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/check_error.h"
#include "platform/copier_hooks.h"
#include "platform/copy_journal.h"
#include "platform/file_calls.h"
#include "platform/file_system.h"
#include "platform/io_worker.h"
#include "platform/own_names.h"
#include "platform/posix_own_files.h"
#include "platform/runtime.h"
#include "platform/state_folder.h"
#include "platform/volume_abilities.h"
#include "support/random_content.h"
#include "support/restarted_program.h"
#include "support/temp_tree.h"
#include "tests/platform/counting_event_pump.h"
#include "tests/platform/refusing_file_calls.h"

namespace palvimo {
namespace {

using testing::Active_Refusals;
using testing::Counting_Event_Pump;
using testing::Random_Content;
using testing::Refusals;
using testing::Temp_Tree;

constexpr std::size_t MiB = std::size_t{1} << 20;

// The file systems users plug in, as their drivers refuse.
std::vector<Refusals> File_Systems() {
  std::vector<Refusals> all;
  all.push_back({.name = "everything offered"});
  all.push_back({.name = "exfat-fuse", .no_unnamed_files = true, .no_links = true, .no_no_replace = true,
                 .no_marks = true, .no_locks = true, .unstable_inodes = true});
  all.push_back({.name = "fusefat", .no_unnamed_files = true, .no_links = true, .no_no_replace = true,
                 .no_marks = true, .mode_not_implemented = true, .no_size = true});
  all.push_back({.name = "ntfs-3g", .no_unnamed_files = true, .no_no_replace = true, .no_locks = true});
  all.push_back({.name = "passthrough fuse", .no_unnamed_files = true, .no_no_replace = true,
                 .no_writes_unnamed = true});
  all.push_back({.name = "fuse without link", .no_unnamed_files = true, .no_links = true, .link_error = EROFS,
                 .no_marks = true, .unstable_inodes = true});
  return all;
}

// Every entry of a folder.
std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// Whether copies on such a volume carry their mark and their maker's lock,
// which makes journaling them needless.
bool Self_Proving(const Refusals& refusals) { return !refusals.no_marks && !refusals.no_locks; }

std::size_t Journaled_Copies() {
  const std::string copies = State_Folder() + "/copies";
  if (!std::filesystem::exists(copies)) return 0;
  return Entries(copies).size();
}

void Refuse(const Refusals& refusals) {
  Active_Refusals() = refusals;
  Set_File_Calls(&testing::Refusing_File_Calls());
}

// Where a killed run ended with its copy still on the drive: once the copy
// was made, right after its first write, or while it was being removed, set
// aside at a private name and not yet unlinked.
enum class Killed_At { Copied, Mid_Copy, Set_Aside };

// Makes the copy of `name` in `folder` and ends the process at `stage`
// without removing it.
[[noreturn]] void Leave_Copy_And_End(const std::string& folder, const std::string& name, Killed_At stage) {
  Counting_Event_Pump events;
  Io_Worker worker(events);
  Copier_Hooks hooks;
  if (stage == Killed_At::Mid_Copy) {
    hooks.write_copy = [](int fd, const void* data, std::size_t size) -> ssize_t {
      Calls().write(fd, data, size);
      _exit(0);
    };
  }
  const auto copier = Make_Probe_Copier(worker, std::move(hooks));
  const auto files = Make_Local_File_System();
  try {
    copier->Copy_File(*files->Open_Folder(folder), name, name + ".PVF");
    if (stage == Killed_At::Set_Aside) {
      Set_Own_File_Hook([](Own_File_Step step, int, const std::string&) {
        if (step == Own_File_Step::Set_Aside) _exit(0);
      });
      copier->Delete_Copy();
    }
  } catch (...) {
    _exit(1);
  }
  _exit(0);
}

// Started again in that role, the program makes the copy as the volume
// named refuses, before any test runs.
const bool Killed_Copy_Role = testing::Claim_Role("killed copy", [](const std::vector<std::string>& arguments) {
  if (arguments.size() != 4) _exit(2);
  for (const Refusals& refusals : File_Systems()) {
    if (refusals.name == arguments[0]) Refuse(refusals);
  }
  if (Active_Refusals().name != arguments[0]) _exit(3);
  Leave_Copy_And_End(arguments[1], arguments[2], static_cast<Killed_At>(std::stoi(arguments[3])));
});

// Copiers on a temporary folder of a file system that refuses what
// Refuse() says.
class Volume_Fixture : public ::testing::Test {
 protected:
  void TearDown() override {
    Set_File_Calls(nullptr);
    Active_Refusals() = Refusals{};
  }

  std::unique_ptr<Probe_Copier> Make_Copier(Copier_Hooks hooks = {}) {
    return Make_Probe_Copier(worker_, std::move(hooks));
  }

  // A run killed while its copy of `name` existed: a process of its own
  // makes the copy and ends at `stage` without removing it, as kill -9 would
  // leave it.
  void Leave_Killed_Copy(const std::string& name, Killed_At stage) {
    const int status = testing::Run_In_Role(
        "killed copy", {Active_Refusals().name, tree_.Root(), name, std::to_string(static_cast<int>(stage))});
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    if (stage != Killed_At::Set_Aside) {
      ASSERT_TRUE(std::filesystem::exists(tree_.Path(name + ".PVF")));
    }
  }

  Temp_Tree tree_;
  Counting_Event_Pump events_;
  std::unique_ptr<File_System> files_ = Make_Local_File_System();
  Io_Worker worker_{events_};
};

class Refusing_Volume_Test : public Volume_Fixture, public ::testing::WithParamInterface<Refusals> {
 protected:
  void SetUp() override { Refuse(GetParam()); }
};

// The volume's check finds what each file system refuses, and the note
// says what matters to the user.
TEST_P(Refusing_Volume_Test, CheckFindsWhatTheVolumeOffers) {
  const Refusals& refusals = GetParam();
  const Unique_Fd folder(open(tree_.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const Volume_Abilities found = Probe_Volume(folder.Get(), "test");
  EXPECT_TRUE(found.checked) << found.problem;
  EXPECT_EQ(found.unnamed_files, !refusals.no_unnamed_files);
  EXPECT_EQ(found.hard_links, !refusals.no_links);
  EXPECT_EQ(found.no_replace_rename, !refusals.no_no_replace);
  EXPECT_EQ(found.marks, !refusals.no_marks);
  EXPECT_EQ(found.file_locks, !refusals.no_locks);
  EXPECT_EQ(found.mode_change, !refusals.mode_not_implemented);
  EXPECT_EQ(found.stable_inodes, !refusals.unstable_inodes);
  EXPECT_EQ(found.writes_after_unlink, !refusals.no_writes_unnamed);
  EXPECT_EQ(found.reports_size, !refusals.no_size);
  EXPECT_EQ(Volume_Note(found).find("no marks kept; copies tracked in the journal") != std::string::npos,
            refusals.no_marks);
  // Nothing of the check is left.
  EXPECT_TRUE(Entries(tree_.Root()).empty());
}

// Copies are made, verified and removed, leaving nothing on the drive or in
// the journal, however little the file system offers.
TEST_P(Refusing_Volume_Test, RunLeavesNothingAndVerifiesItsCopies) {
  const auto copier = Make_Copier();
  const std::string note = copier->Know_Volume(*files_->Open_Folder(tree_.Root()));
  EXPECT_EQ(note.find("not tried"), std::string::npos) << note;
  for (const std::size_t size : {std::size_t{0}, 3 * MiB + 17}) {
    const std::string content = Random_Content(size);
    tree_.Write_File("a.doc", content);
    const Probe_Figures figures = copier->Copy_File(*files_->Open_Folder(tree_.Root()), "a.doc", "a.doc.PVF");
    EXPECT_EQ(figures.bytes_read_back, size);
    EXPECT_EQ(Temp_Tree::Read_File(tree_.Path("a.doc.PVF")), content);
    EXPECT_EQ(Journaled_Copies(), Self_Proving(GetParam()) ? 0u : 1u);
    copier->Delete_Copy();
    EXPECT_EQ(Entries(tree_.Root()), std::set<std::string>{"a.doc"}) << size;
    EXPECT_EQ(Journaled_Copies(), 0u);
  }
}

// A run killed during its pause leaves its copy: the next run removes it as
// it begins, wherever the walk goes, and one killed mid-copy leaves a part
// of one, which the walk removes and never probes.
TEST_P(Refusing_Volume_Test, KilledRunsLeftoverIsRemovedByTheNextRun) {
  tree_.Write_File("a.doc", Random_Content(MiB / 2));
  tree_.Write_File("b.doc", Random_Content(3 * MiB));
  tree_.Write_File("c.doc", "content");
  Leave_Killed_Copy("a.doc", Killed_At::Copied);
  Leave_Killed_Copy("b.doc", Killed_At::Mid_Copy);
  Leave_Killed_Copy("c.doc", Killed_At::Set_Aside);
  std::string set_aside;
  for (const std::string& name : Entries(tree_.Root())) {
    if (name.starts_with(Removing_Prefix)) set_aside = name;
  }
  ASSERT_FALSE(set_aside.empty());
  const bool self_proving = Self_Proving(GetParam());
  EXPECT_EQ(Journaled_Copies(), self_proving ? 0u : 3u);

  const auto copier = Make_Copier();
  const std::string note = copier->Know_Volume(*files_->Open_Folder(tree_.Root()));
  if (self_proving) {
    // Their marks make them known wherever the walk meets them.
    EXPECT_TRUE(copier->Remove_Leftover(*files_->Open_Folder(tree_.Root()), "a.doc.PVF"));
    EXPECT_TRUE(copier->Remove_Leftover(*files_->Open_Folder(tree_.Root()), "b.doc.PVF"));
    EXPECT_TRUE(copier->Remove_Leftover(*files_->Open_Folder(tree_.Root()), set_aside));
  } else {
    EXPECT_NE(note.find("3 leftover copies of earlier runs removed"), std::string::npos) << note;
  }
  EXPECT_EQ(Entries(tree_.Root()), (std::set<std::string>{"a.doc", "b.doc", "c.doc"}));
  EXPECT_EQ(Journaled_Copies(), 0u);

  Leave_Killed_Copy("b.doc", Killed_At::Mid_Copy);
  EXPECT_TRUE(copier->Remove_Leftover(*files_->Open_Folder(tree_.Root()), "b.doc.PVF"));
  EXPECT_EQ(Entries(tree_.Root()), (std::set<std::string>{"a.doc", "b.doc", "c.doc"}));
}

// A user's file that took a leftover's name after the run was killed is no
// leftover: it stays, and the journal forgets the copy.
TEST_P(Refusing_Volume_Test, UsersFileAtALeftoversNameStays) {
  tree_.Write_File("a.doc", "content");
  Leave_Killed_Copy("a.doc", Killed_At::Copied);
  std::filesystem::remove(tree_.Path("a.doc.PVF"));
  // Written long before the copy was made, as a file moved in keeps its times.
  const std::string users = tree_.Write_File("a.doc.PVF", "the user's own");
  const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, users.c_str(), old_times, 0), 0);
  const auto copier = Make_Copier();
  copier->Know_Volume(*files_->Open_Folder(tree_.Root()));
  EXPECT_FALSE(copier->Remove_Leftover(*files_->Open_Folder(tree_.Root()), "a.doc.PVF"));
  EXPECT_EQ(Temp_Tree::Read_File(users), "the user's own");
  EXPECT_EQ(Journaled_Copies(), 0u);
}

std::string Test_Name(const ::testing::TestParamInfo<Refusals>& param_info) {
  std::string name;
  for (const char c : param_info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(File_Systems, Refusing_Volume_Test, ::testing::ValuesIn(File_Systems()), Test_Name);

class Stranger_Test : public Refusing_Volume_Test {};

// Where neither a link nor a no-replace rename is offered, a user's file
// moved onto the copy's name stays at it; one that gets there only after
// the look, while the copy is set aside, comes back to its name when that
// is free, or to a visible name beside it, and the failure says where.
TEST_P(Stranger_Test, UsersFileEndsAtItsOwnNameOrAVisibleOne) {
  tree_.Write_File("a.doc", "content");
  const auto copier = Make_Copier();
  const std::string copy = tree_.Path("a.doc.PVF");
  const auto delete_reason = [&] {
    try {
      copier->Delete_Copy();
    } catch (const Check_Error& error) {
      EXPECT_EQ(error.Kind(), Failure_Kind::Name_Taken);
      return error.Reason();
    }
    return std::string("deleted");
  };

  copier->Copy_File(*files_->Open_Folder(tree_.Root()), "a.doc", "a.doc.PVF");
  ASSERT_EQ(rename(tree_.Write_File("incoming", "moved in").c_str(), copy.c_str()), 0);
  EXPECT_EQ(delete_reason(), "the copy was replaced by another file, which is left at its name");
  EXPECT_EQ(Temp_Tree::Read_File(copy), "moved in");
  EXPECT_EQ(Entries(tree_.Root()), (std::set<std::string>{"a.doc", "a.doc.PVF"}));

  for (const bool name_taken_again : {false, true}) {
    std::filesystem::remove(copy);
    copier->Copy_File(*files_->Open_Folder(tree_.Root()), "a.doc", "a.doc.PVF");
    // Between the look and the move, the copy and a user's file trade places.
    Set_Own_File_Hook([&](Own_File_Step step, int, const std::string& aside) {
      if (step != Own_File_Step::Set_Aside) return;
      const std::string set_aside = tree_.Path(aside);
      std::filesystem::rename(set_aside, tree_.Path("ours"));
      std::filesystem::rename(tree_.Write_File("incoming", "slipped in"), set_aside);
      if (name_taken_again) tree_.Write_File("a.doc.PVF", "came next");
    });
    const std::string reason = delete_reason();
    Set_Own_File_Hook({});
    std::filesystem::remove(tree_.Path("ours"));
    if (name_taken_again) {
      EXPECT_NE(reason.find("is now a.doc.PVF.palvimo-restored-1"), std::string::npos) << reason;
      EXPECT_EQ(Temp_Tree::Read_File(tree_.Path("a.doc.PVF.palvimo-restored-1")), "slipped in");
      EXPECT_EQ(Temp_Tree::Read_File(copy), "came next");
    } else {
      EXPECT_EQ(reason, "the copy was replaced by another file, which is left at its name");
      EXPECT_EQ(Temp_Tree::Read_File(copy), "slipped in");
    }
    for (const std::string& name : Entries(tree_.Root())) EXPECT_NE(name.front(), '.') << name;
  }
}

INSTANTIATE_TEST_SUITE_P(No_Link_Nor_No_Replace, Stranger_Test,
                         ::testing::Values(Refusals{.name = "exfat", .no_unnamed_files = true, .no_links = true,
                                                    .no_no_replace = true, .no_marks = true}));

// A copy journaled while its volume kept no marks, left by a killed run, is
// removed as the next run begins on that volume mounted by a driver that
// keeps them, which journals nothing of its own there.
TEST_F(Volume_Fixture, LeftoverJournaledUnderAnotherDriverIsRemoved) {
  tree_.Write_File("a.doc", Random_Content(MiB / 2));
  Refuse(File_Systems()[1]);
  ASSERT_EQ(Active_Refusals().name, "exfat-fuse");
  Leave_Killed_Copy("a.doc", Killed_At::Copied);
  ASSERT_EQ(Journaled_Copies(), 1u);
  Refuse(File_Systems()[0]);
  const auto copier = Make_Copier();
  const std::string note = copier->Know_Volume(*files_->Open_Folder(tree_.Root()));
  EXPECT_NE(note.find("1 leftover copy of earlier runs removed"), std::string::npos) << note;
  EXPECT_EQ(Entries(tree_.Root()), std::set<std::string>{"a.doc"});
  EXPECT_EQ(Journaled_Copies(), 0u);
}

// A folder the volume's check cannot write in is no crash: the note says it
// was not tried, and the copy fails as not checked.
TEST_F(Volume_Fixture, VolumeThatCannotBeTriedIsSaidAndNotAFault) {
  Refuse(Refusals{.name = "read-only", .no_creates = true});
  tree_.Write_File("a.doc", "content");
  const auto copier = Make_Copier();
  const std::string note = copier->Know_Volume(*files_->Open_Folder(tree_.Root()));
  EXPECT_NE(note.find("not tried (cannot write in the folder (Permission denied))"), std::string::npos) << note;
  try {
    copier->Copy_File(*files_->Open_Folder(tree_.Root()), "a.doc", "a.doc.PVF");
    ADD_FAILURE() << "copied into a folder that takes no new file";
  } catch (const Check_Error& error) {
    EXPECT_EQ(error.Kind(), Failure_Kind::Permission_Denied) << error.Reason();
  }
  Set_File_Calls(nullptr);
  EXPECT_EQ(Entries(tree_.Root()), std::set<std::string>{"a.doc"});
  EXPECT_EQ(Journaled_Copies(), 0u);
}

// A run killed during its volume check leaves the check's file behind: the
// next run removes it once it is a minute old and its maker is gone, never
// one of a check that may still be under way.
TEST_F(Volume_Fixture, KilledVolumeChecksFileIsRemovedByTheNextRun) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const std::string prefix(Checking_Prefix);
  const std::string dead = tree_.Write_File(prefix + std::to_string(child) + "-0-a", "");
  const std::string live = tree_.Write_File(prefix + std::to_string(getpid()) + "-999-a", "");
  const std::string young = tree_.Write_File(prefix + std::to_string(child) + "-1-a", "");
  const auto long_ago = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5);
  for (const std::string& path : {dead, live}) std::filesystem::last_write_time(path, long_ago);

  const auto copier = Make_Copier();
  const std::string note = copier->Know_Volume(*files_->Open_Folder(tree_.Root()));
  EXPECT_NE(note.find("1 leftover copy of earlier runs removed"), std::string::npos) << note;
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_TRUE(std::filesystem::exists(young));
}

// Another user's leftover copy is theirs to remove: it is not checked, and
// the failure says what it is and where.
TEST_F(Volume_Fixture, AnotherUsersLeftoverIsNamedNotRemoved) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can leave a file of another user's";
  const std::string leftover = tree_.Write_File("a.doc.PVF", "their copy");
  if (setxattr(leftover.c_str(), "user.palvimo.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no extended attributes";
  ASSERT_EQ(chown(leftover.c_str(), 4242, 4242), 0);
  ASSERT_EQ(chmod(leftover.c_str(), 0600), 0);
  const auto copier = Make_Copier();
  try {
    copier->Remove_Leftover(*files_->Open_Folder(tree_.Root()), "a.doc.PVF");
    ADD_FAILURE() << "another user's copy taken for a file to probe";
  } catch (const Check_Error& error) {
    EXPECT_EQ(error.Reason(), "another user's leftover copy, left where it is: " + leftover);
  }
  EXPECT_EQ(Temp_Tree::Read_File(leftover), "their copy");
}

// The journal keeps what proves a copy, names with any byte included, and
// knows a killed instance from a running one.
TEST(Copy_Journal_Test, KeepsEntriesAndTellsLiveInstancesFromDeadOnes) {
  Temp_Tree state;
  Copy_Entry entry{.volume = "uuid:1234", .path = "/odd\nname\\.PVF", .making = "",
                   .removing = "/.palvimo-removing-7-0", .instance = "", .token = 42, .size = 7, .time_token = 8, .created = 9, .inode = 10};
  std::string dead;
  {
    Copy_Journal gone(state.Root());
    entry.instance = dead = gone.Instance();
    gone.Add(entry);
    Copy_Journal running(state.Root());
    EXPECT_TRUE(running.Is_Alive(running.Instance()));
    EXPECT_TRUE(running.Is_Alive(dead));
  }
  Copy_Journal later(state.Root());
  EXPECT_FALSE(later.Is_Alive(dead));
  // A name read from an entry never leads out of the journal's folder.
  EXPECT_TRUE(later.Is_Alive("../../etc/passwd"));
  const std::vector<Copy_Entry> kept = later.Entries_Of("uuid:1234");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].path, entry.path);
  EXPECT_EQ(kept[0].removing, entry.removing);
  EXPECT_EQ(kept[0].token, 42u);
  EXPECT_EQ(kept[0].inode, 10u);
  EXPECT_TRUE(later.Entries_Of("uuid:other").empty());
  later.Remove(42);
  EXPECT_TRUE(later.Entries_Of("uuid:1234").empty());
}

}  // namespace
}  // namespace palvimo
