#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>

#include "check_fixture.h"
#include "platform/file_calls.h"
#include "platform/posix_own_files.h"
#include "tests/platform/refusing_file_calls.h"
#include "support/restarted_program.h"
#include "support/tmpfs_mount.h"

namespace palvimo::testing {
namespace {

class Walk_Folder_Test : public Check_Fixture {
 protected:
  // One pass over the folder at `path`, as a run's first pass.
  void Walk_Root(const std::string& path) { walk.Walk_Root(*walk.Open_Root(path)); }

  Run_Record record;
  Folder_Walk walk{state, window, services, record};
};

TEST_F(Walk_Folder_Test, EmptyFolderReturnsAtOnceWithoutDrawsOrEvents) {
  Walk_Root(tree.Make_Dir("empty"));
  EXPECT_EQ(random.Draws, 0);
  EXPECT_EQ(pump.Runs(), 0);
  EXPECT_TRUE(log.empty());
}

// One draw per file and per subfolder reached, in listing order; events run
// around each probe and before each subfolder's draw, never for a file that
// is not picked.
TEST_F(Walk_Folder_Test, DrawsOncePerFileAndSubfolderReached) {
  for (const char* name : {"a", "b", "c"}) tree.Write_File(std::string("root/") + name, name);
  tree.Write_File("root/one/x");
  tree.Write_File("root/two/y");
  const std::string root = tree.Path("root");
  const auto listed = Listed_Files(root);
  const auto subfolders = Listed_Subfolders(root);
  ASSERT_EQ(listed.size(), 3u);
  ASSERT_EQ(subfolders.size(), 2u);

  // Second file picked; first subfolder picked (its file not); second not.
  random.Script = {0.5f, 0.05f, 0.7f, 0.0f, 0.9f, 0.5f};
  Walk_Root(root);

  EXPECT_EQ(random.Draws, 6);
  const Call_Log expected = {"folder " + root, "status " + listed[1], "events", "pause 0", "count 1", "events",
                             "events", "events"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(state.File_Count, 1);
  EXPECT_TRUE(Copies_Left().empty());
}

TEST_F(Walk_Folder_Test, WithoutRecursionSubfoldersGetNoDrawsAndNoEvents) {
  tree.Write_File("root/a");
  tree.Write_File("root/sub/b");
  state.Recurse_On = false;
  random.Script = {0.0f, 0.0f};
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(random.Draws, 1);
  EXPECT_EQ(pump.Runs(), 2);
  EXPECT_EQ(state.File_Count, 1);
}

// Special entries never stall or widen the walk: a FIFO is not probed, a
// link loop is not followed and another file system mounted inside the tree
// is not entered, even with every draw a pick.
TEST_F(Walk_Folder_Test, WalkStaysOnItsFileSystemAndNeverBlocks) {
  tree.Write_File("root/plain", "data");
  ASSERT_EQ(mkfifo(tree.Path("root/pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink(tree.Path("root"), tree.Path("root/loop"));
  Tmpfs_Mount mounted(tree.Path("root/mounted"), "1m");
  if (!mounted.Mounted()) GTEST_SKIP() << "mounting a file system needs root";
  tree.Write_File("root/mounted/inside");
  random.Script = std::deque<float>(50, 0.0f);
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(log, (Call_Log{"folder " + tree.Path("root"), "status " + tree.Path("root/plain"), "events",
                           "pause 0", "count 1", "events"}));
  EXPECT_TRUE(Copies_Left().empty());
}

// A folder swapped for a link to a folder outside the tree between its
// listing and its walk is not entered: nothing outside is probed or written.
TEST_F(Walk_Folder_Test, SubfolderSwappedForALinkIsNotEntered) {
  const std::string outside = tree.Write_File("outside/private.txt", "elsewhere");
  tree.Write_File("root/sub/inside.txt");
  pump.At(1, [&] {
    std::filesystem::remove_all(tree.Path("root/sub"));
    std::filesystem::create_directory_symlink(tree.Path("outside"), tree.Path("root/sub"));
  });
  random.Script = std::deque<float>(10, 0.0f);
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(log, Call_Log{"events"});
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.Path("outside")), {}), 1);
  EXPECT_EQ(Temp_Tree::Read_File(outside), "elsewhere");
}

// A marked copy that an earlier run could not delete is removed when the walk
// picks it, and counted; a user's file named like a copy is probed as any.
TEST_F(Walk_Folder_Test, MarkedLeftoverPickedByTheWalkIsRemovedNotProbed) {
  const std::string leftover = tree.Write_File("root/a.txt.PVF", "left over");
  if (setxattr(leftover.c_str(), "user.palvimo.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no extended attributes";
  const std::string users = tree.Write_File("root/b.PVF", "the user's");
  random.Script = {0.0f, 0.0f};
  Walk_Root(tree.Path("root"));
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_EQ(Temp_Tree::Read_File(users), "the user's");
  EXPECT_EQ(Count_In_Log("pause 0"), 1);
  EXPECT_EQ(state.File_Count, 2);
  EXPECT_EQ(Copies_Left(), std::vector<std::string>{users});
}

// A FUSE file system's name for a file removed while still open (a copy of
// ours between its removal and its close) is neither copied nor counted.
TEST_F(Walk_Folder_Test, FuseHiddenFileIsNeitherCopiedNorCounted) {
  const std::string hidden = tree.Write_File("root/.fuse_hidden0000001a00000001", "a removed copy");
  random.Script = {0.0f};
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(state.File_Count, 0);
  EXPECT_EQ(Count_In_Log("pause 0"), 0);
  EXPECT_EQ(Temp_Tree::Read_File(hidden), "a removed copy");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.Path("root")), {}), 1);
}

// Each level of the walk keeps only its folder and its subfolder listing open
// while it walks deeper: with room for 64 open files, a tree 25 levels deep
// is walked to its bottom (three a level would run out at about 20).
TEST_F(Walk_Folder_Test, DeepTreeIsWalkedToItsBottomWithFewOpenFiles) {
  std::string deep = "root";
  for (int level = 0; level < 25; ++level) deep += "/d";
  const std::string bottom = tree.Write_File(deep + "/bottom.txt");
  random.Script = std::deque<float>(30, 0.0f);
  struct rlimit before {};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  struct rlimit tight = before;
  tight.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  Walk_Root(tree.Path("root"));
  setrlimit(RLIMIT_NOFILE, &before);
  EXPECT_EQ(window.Status, bottom);
  EXPECT_EQ(state.File_Count, 1);
}

struct Threshold_Case {
  float draw;
  bool picked;
};

class Pick_Threshold_Test : public Walk_Folder_Test, public ::testing::WithParamInterface<Threshold_Case> {};

TEST_P(Pick_Threshold_Test, PicksOnlyStrictlyBelowTheThreshold) {
  tree.Write_File("root/a");
  random.Script = {GetParam().draw};
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(state.File_Count, GetParam().picked ? 1 : 0) << "draw " << GetParam().draw;
}

INSTANTIATE_TEST_SUITE_P(Boundary, Pick_Threshold_Test,
                         ::testing::Values(Threshold_Case{0.0f, true},
                                           Threshold_Case{std::nextafter(0.1f, 0.0f), true},
                                           Threshold_Case{0.1f, false},
                                           Threshold_Case{std::nextafter(0.1f, 1.0f), false},
                                           Threshold_Case{std::nextafter(1.0f, 0.0f), false}));

TEST_F(Walk_Folder_Test, ProbeCopiesPausesDeletesAndCountsLeavingTheFileAsItWas) {
  const std::string file = tree.Write_File("root/report.doc", "contents");
  window.Delay = " 2.5 ";
  random.Script = {0.0f};
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(Count_In_Log("pause 2"), 1);
  EXPECT_EQ(window.Count, "1");
  EXPECT_EQ(window.Status, file);
  EXPECT_EQ(Temp_Tree::Read_File(file), "contents");
  EXPECT_FALSE(std::filesystem::exists(file + ".PVF"));
}

// A probe never destroys a file it did not make: with the user's own file at
// the copy path, neither the copy nor the delete happens, but the pause and
// the count do.
TEST_F(Walk_Folder_Test, UsersFileAtTheCopyPathIsLeftAlone) {
  tree.Write_File("root/a.doc", "original");
  const std::string users = tree.Write_File("root/a.doc.bak", "the user's backup");
  window.Extension = ".bak";
  for (const auto& file : Listed_Files(tree.Path("root"))) random.Script.push_back(file == users ? 0.5f : 0.0f);
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(Temp_Tree::Read_File(users), "the user's backup");
  EXPECT_EQ(Count_In_Log("pause 0"), 1);
  EXPECT_EQ(window.Count, "1");
}

TEST_F(Walk_Folder_Test, UnsafeExtensionAtProbeTimeCopiesNothing) {
  const std::string file = tree.Write_File("root/a", "kept");
  tree.Make_Dir("root/ab");
  for (const std::string& extension : {std::string(), std::string("b/c"), std::string("\0x", 2)}) {
    window.Extension = extension;
    random.Script = {0.0f, 0.5f};
    Walk_Root(tree.Path("root"));
  }
  EXPECT_EQ(Temp_Tree::Read_File(file), "kept");
  EXPECT_FALSE(std::filesystem::exists(tree.Path("root/ab/c")));
  EXPECT_EQ(state.File_Count, 3);
}

// A file that cannot be read when its turn comes is still shown and counted,
// leaves no copy, and the status line and standard error say why.
TEST_F(Walk_Folder_Test, VanishedFileIsCountedLeavesNoCopyAndSaysWhy) {
  const std::string file = tree.Write_File("root/gone");
  random.Script = {0.0f};
  pump.At(1, [&] { std::filesystem::remove(file); });
  Walk_Root(tree.Path("root"));
  const std::string why = file + ": cannot open: No such file or directory";
  EXPECT_EQ(window.Status, why);
  EXPECT_EQ(failure_log.str(), "palvimo: " + why + "\n");
  EXPECT_EQ(window.Count, "1");
  EXPECT_TRUE(Copies_Left().empty());
}

TEST_F(Walk_Folder_Test, CountStaysAtItsLargestValue) {
  tree.Write_File("root/a");
  tree.Write_File("root/b");
  state.File_Count = std::numeric_limits<std::int32_t>::max() - 1;
  random.Script = {0.0f, 0.0f};
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(state.File_Count, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(window.Count, "2147483647");
  EXPECT_EQ(Count_In_Log("count 2147483647"), 2);
}

// A stop request handled in the event run before a probe lets that probe
// complete, then nothing more is drawn.
TEST_F(Walk_Folder_Test, StopBeforeAProbeLetsItCompleteAndDrawsNoMore) {
  tree.Write_File("root/a");
  tree.Write_File("root/b");
  tree.Write_File("root/sub/c");
  random.Script = {0.0f, 0.0f, 0.0f};
  pump.At(1, [&] { state.Stop_Requested = true; });
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(random.Draws, 1);
  EXPECT_EQ(state.File_Count, 1);
  EXPECT_EQ(pump.Runs(), 2);
}

// A stop handled in a subfolder's event run lets that draw happen; the picked
// subfolder is opened and returns at once.
TEST_F(Walk_Folder_Test, StopAtASubfolderLetsItsDrawHappenAndNothingAfter) {
  tree.Write_File("root/sub/a");
  random.Script = {0.0f, 0.0f};
  pump.At(1, [&] { state.Stop_Requested = true; });
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(random.Draws, 1);
  EXPECT_EQ(state.File_Count, 0);
}

TEST_F(Walk_Folder_Test, RootThatCannotBeOpenedIsReported) {
  EXPECT_THROW(Walk_Root(tree.Path("missing")), Root_Unreachable);
  files.Unopenable.insert(tree.Make_Dir("locked"));
  EXPECT_THROW(Walk_Root(tree.Path("locked")), Root_Unreachable);
}

// Before a call's first probe its folder guard abandons the rest of the
// folder; the parent goes on with its next subfolder.
TEST_F(Walk_Folder_Test, GuardAbandonsTheRestOfAFolderBeforeItsFirstProbe) {
  for (const char* file : {"one/a", "one/b", "two/c", "two/d"}) tree.Write_File(std::string("root/") + file);
  const std::string root = tree.Path("root");
  const auto subfolders = Listed_Subfolders(root);
  window.Failing_Folders.insert(subfolders[0]);
  random.Script = std::deque<float>(10, 0.0f);
  Walk_Root(root);
  // The first subfolder failed at its first pick, so its second file was
  // never drawn for; the second subfolder was entered and both its files
  // probed.
  EXPECT_EQ(random.Draws, 5);
  EXPECT_EQ(state.File_Count, 2);
  EXPECT_EQ(window.Shown_Folder, subfolders[1]);
}

// The guard still holds in the event run just before the first probe: a
// failure there abandons the folder without probing.
TEST_F(Walk_Folder_Test, GuardHoldsUntilTheProbeBegins) {
  tree.Write_File("root/a");
  random.Script = {0.0f};
  pump.At(1, [] { throw Check_Error("handler", "failed"); });
  EXPECT_NO_THROW(Walk_Root(tree.Path("root")));
  EXPECT_EQ(state.File_Count, 0);
}

// After a call has probed, an error goes up to the nearest enclosing call
// that has not probed, which abandons the rest of its folder.
TEST_F(Walk_Folder_Test, ErrorAfterAProbeGoesUpToTheNearestCallThatHasNotProbed) {
  for (const char* file : {"mid/s1/a", "mid/s1/b", "mid/s2/c", "other/d"}) tree.Write_File(std::string("root/") + file);
  const auto inner = Listed_Subfolders(tree.Path("root/mid"));
  files.Files_Fail_After[inner[0]] = 1;
  random.Script = std::deque<float>(20, 0.0f);
  Walk_Root(tree.Path("root"));
  // The first inner folder probed one file, then its listing failed; "mid"
  // had probed nothing, so it gave up its second inner folder, and the root
  // still went on to "other".
  EXPECT_EQ(Count_In_Log("folder " + inner[0]), 1);
  EXPECT_EQ(Count_In_Log("folder " + inner[1]), 0);
  EXPECT_EQ(Count_In_Log("folder " + tree.Path("root/other")), 1);
  EXPECT_EQ(state.File_Count, 2);
}

TEST_F(Walk_Folder_Test, ErrorReachesTheCallerWhenEveryCallHasProbed) {
  tree.Write_File("root/f");
  tree.Write_File("root/sub/a");
  tree.Write_File("root/sub/b");
  files.Files_Fail_After[tree.Path("root/sub")] = 1;
  random.Script = std::deque<float>(10, 0.0f);
  try {
    Walk_Root(tree.Path("root"));
    ADD_FAILURE() << "the failure should have left the walk";
  } catch (const Root_Unreachable&) {
    ADD_FAILURE() << "the root itself was open";
  } catch (const Check_Error& error) {
    EXPECT_EQ(error.Path(), tree.Path("root/sub"));
  }
  EXPECT_EQ(state.File_Count, 2);
  EXPECT_TRUE(Copies_Left().empty());
}

// A subfolder that vanishes after it was listed ends the walk of its parent
// when the parent has probed nothing.
TEST_F(Walk_Folder_Test, VanishedSubfolderEndsAParentThatHasNotProbed) {
  tree.Make_Dir("root/one");
  tree.Make_Dir("root/two");
  const auto subfolders = Listed_Subfolders(tree.Path("root"));
  pump.At(1, [&] { std::filesystem::remove(subfolders[0]); });
  random.Script = {0.0f, 0.0f};
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(random.Draws, 1);
  EXPECT_EQ(pump.Runs(), 1);
}

// Ending the program in the event run before a probe: no probe begins, the
// walk unwinds through every guard, and no copy is left.
TEST_F(Walk_Folder_Test, EndingTheProgramUnwindsBeforeTheProbe) {
  tree.Write_File("root/sub/a");
  random.Script = {0.0f, 0.0f};
  pump.At(2, [&] { pump.End_Program(); });
  EXPECT_THROW(Walk_Root(tree.Path("root")), Program_End);
  EXPECT_EQ(Count_In_Log("pause 0"), 0);
  EXPECT_EQ(state.File_Count, 0);
  EXPECT_TRUE(Copies_Left().empty());
}

// Makes a file unremovable, as a drive that fails the unlink would.
bool Set_Immutable(int fd, bool immutable) {
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return false;
  flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  return ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
}

// The copy's unlink fails once it has been set aside, and so does its move
// back: the failure names where the copy is, and the next run, meeting it
// at that private name, removes it instead of probing it.
TEST_F(Walk_Folder_Test, CopyLeftAtAPrivateNameIsRemovedByTheNextRun) {
  tree.Write_File("root/a.doc", "content");
  std::string aside;
  Unique_Fd held;
  Set_Own_File_Hook([&](Own_File_Step step, int folder_fd, const std::string& name) {
    if (step != Own_File_Step::Set_Aside || held.Valid()) return;
    held = Unique_Fd(openat(folder_fd, name.c_str(), O_RDONLY | O_CLOEXEC));
    if (Set_Immutable(held.Get(), true)) aside = name;
  });
  random.Script = {0.0f};
  Walk_Root(tree.Path("root"));
  Set_Own_File_Hook({});
  if (aside.empty()) GTEST_SKIP() << "files cannot be made immutable here";
  Set_Immutable(held.Get(), false);
  held = Unique_Fd();
  EXPECT_NE(failure_log.str().find("cannot delete the copy, left as " + aside + ": "), std::string::npos)
      << failure_log.str();
  ASSERT_TRUE(std::filesystem::exists(tree.Path("root/" + aside)));

  random.Script = {0.0f, 0.0f};
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(Count_In_Log("status " + tree.Path("root/" + aside)), 1);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(tree.Path("root"))) left.push_back(entry.path());
  EXPECT_EQ(left, std::vector<std::string>{tree.Path("root/a.doc")});
}

// A file that is not a copy of this program's but bears a private name is a
// stranger's to leave alone, never a file to probe.
TEST_F(Walk_Folder_Test, FileAtAPrivateNameIsNeverProbed) {
  tree.Write_File("root/.palvimo-creating-1-0", "not this run's");
  random.Script = {0.0f};
  Walk_Root(tree.Path("root"));
  EXPECT_EQ(Count_In_Log("pause 0"), 0);
  EXPECT_EQ(Temp_Tree::Read_File(tree.Path("root/.palvimo-creating-1-0")), "not this run's");
  EXPECT_TRUE(Copies_Left().empty());
}

// A file of another file system bind-mounted into the tree is no file of the
// tree's: it is neither read nor copied, and no fault of the drive.
TEST_F(Walk_Folder_Test, FileMountedFromAnotherFileSystemIsNotProbed) {
  const Tmpfs_Mount elsewhere(tree.Path("elsewhere"), "1m");
  if (!elsewhere.Mounted()) GTEST_SKIP() << "mounting a file system needs root";
  const std::string secret = tree.Write_File("elsewhere/secret", "another drive's");
  const std::string mounted = tree.Write_File("root/mounted", "");
  ASSERT_EQ(mount(secret.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr), 0);
  random.Script = {0.0f};
  Walk_Root(tree.Path("root"));
  umount2(mounted.c_str(), MNT_DETACH);
  EXPECT_TRUE(Copies_Left().empty());
  EXPECT_EQ(Count_In_Log("pause 0"), 0);
  // Listed, but neither checked nor counted as a probe.
  EXPECT_EQ(record.Files_Seen(), 1u);
  EXPECT_EQ(record.Probes(), 0u);
  EXPECT_EQ(record.Failed(), 0u);
  EXPECT_EQ(failure_log.str(), "");
}

}  // namespace
}  // namespace palvimo::testing

namespace palvimo::testing {
namespace {

// An exFAT stick, as its driver refuses: no marks, links nor unnamed files.
void Refuse_As_Exfat() {
  Active_Refusals() = Refusals{.name = "exfat", .no_unnamed_files = true, .no_links = true,
                               .no_no_replace = true, .no_marks = true};
  Set_File_Calls(&Refusing_File_Calls());
}

// A run killed on an exFAT stick: the copy of a file, and its journal
// entry, are left as kill -9 leaves them.
const bool Killed_Exfat_Copy_Role = Claim_Role("killed exfat copy", [](const std::vector<std::string>& arguments) {
  Refuse_As_Exfat();
  Call_Log log;
  Scripted_Pump pump{log};
  Io_Worker worker(pump);
  const auto copier = Make_Probe_Copier(worker);
  copier->Copy_File(*Make_Local_File_System()->Open_Folder(arguments.at(0)), arguments.at(1),
                    arguments.at(1) + ".PVF");
  _exit(0);
});

// On a volume that keeps no marks, a copy left by a killed run in a folder
// the walk never picks is removed as the run begins, and the run's record
// says what its volume offers and what went.
TEST_F(Walk_Folder_Test, KilledRunsCopyGoesAsTheRunBeginsWhereNoMarkIsKept) {
  Refuse_As_Exfat();
  tree.Write_File("root/deep/b.doc", "content");
  const int status = Run_In_Role("killed exfat copy", {tree.Path("root/deep"), "b.doc"});
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_TRUE(std::filesystem::exists(tree.Path("root/deep/b.doc.PVF")));

  record.Begin(tree.Path("root"), Run_Settings{".PVF", "0", true});
  random.Script = {0.9f, 0.9f};
  Walk_Root(tree.Path("root"));
  Set_File_Calls(nullptr);
  EXPECT_FALSE(std::filesystem::exists(tree.Path("root/deep/b.doc.PVF")));
  const std::string note = record.Volume_Note();
  EXPECT_NE(note.find("no marks kept; copies tracked in the journal"), std::string::npos) << note;
  EXPECT_NE(note.find("1 leftover copy of earlier runs removed"), std::string::npos) << note;
}

}  // namespace
}  // namespace palvimo::testing
