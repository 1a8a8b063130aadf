#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/check_error.h"
#include "platform/file_system.h"
#include "platform/io_worker.h"
#include "platform/late_removals.h"
#include "platform/posix_own_files.h"
#include "platform/runtime.h"
#include "support/random_content.h"
#include "support/temp_tree.h"
#include "support/tmpfs_mount.h"
#include "tests/platform/counting_event_pump.h"

namespace palvimo {
namespace {

using testing::Counting_Event_Pump;
using testing::Random_Content;
using testing::Temp_Tree;
using testing::Tmpfs_Mount;

constexpr char Mark[] = "user.palvimo.probe";
constexpr std::size_t MiB = std::size_t{1} << 20;

struct stat Link_Status(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
  return status;
}

bool Exists(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

bool Has_Mark(const std::string& path) { return getxattr(path.c_str(), Mark, nullptr, 0) >= 0; }

// Kills the test binary if a step that must never block does block.
class Alarm_Guard {
 public:
  explicit Alarm_Guard(unsigned seconds) { alarm(seconds); }
  Alarm_Guard(const Alarm_Guard&) = delete;
  Alarm_Guard& operator=(const Alarm_Guard&) = delete;
  ~Alarm_Guard() { alarm(0); }
};

class Probe_Copier_Test : public ::testing::Test {
 protected:
  // Leaves a file marked as a probe copy; false where the file system keeps
  // no extended attributes, and marks cannot be tested.
  bool Write_Marked(const std::string& relative, const std::string& content) {
    const std::string path = tree_.Write_File(relative, content);
    return setxattr(path.c_str(), Mark, "1", 1, 0) == 0;
  }

  void Copy(const std::string& name, const std::string& copy_name, const std::string& folder = {}) {
    copier_->Copy_File(*files_->Open_Folder(folder.empty() ? tree_.Root() : folder), name, copy_name);
  }
  bool Remove_Leftover(const std::string& name) {
    return copier_->Remove_Leftover(*files_->Open_Folder(tree_.Root()), name);
  }
  // Every entry of the tree's root folder.
  std::set<std::string> Root_Entries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tree_.Root())) names.insert(entry.path().filename());
    return names;
  }

  Temp_Tree tree_;
  Counting_Event_Pump events_;
  std::unique_ptr<File_System> files_ = Make_Local_File_System();
  Io_Worker worker_{events_};
  std::unique_ptr<Probe_Copier> copier_ = Make_Probe_Copier(worker_);
};

TEST_F(Probe_Copier_Test, CopyIsByteForByteAndDeleteRemovesIt) {
  // Past a few flush windows too, with a tail.
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, MiB, 21 * MiB + 123}) {
    const std::string content = Random_Content(size);
    tree_.Write_File("source.bin", content);
    Copy("source.bin", "source.bin.PVF");
    EXPECT_EQ(Temp_Tree::Read_File(tree_.Path("source.bin.PVF")), content) << size;
    copier_->Delete_Copy();
    EXPECT_EQ(Root_Entries(), std::set<std::string>{"source.bin"}) << size;
  }
  EXPECT_THROW(copier_->Delete_Copy(), Check_Error);
  EXPECT_EQ(events_.Event_Runs(), 0);
}

// Private whatever the umask: even one that takes the owner's read bit,
// without which the copy could not be checked before its delete, and none,
// with a source whose set-user and set-group bits the copy must not take.
TEST_F(Probe_Copier_Test, CopyIsPrivateAndMarked) {
  const std::string source = tree_.Write_File("shared.txt", "for everyone");
  ASSERT_EQ(chmod(source.c_str(), 06755), 0);
  const bool marks_kept = Write_Marked("probe-of-marks", "");
  for (const mode_t mask : {0477, 0}) {
    const mode_t umask_before = umask(mask);
    Copy("shared.txt", "shared.txt.PVF");
    umask(umask_before);

    EXPECT_EQ(Link_Status(source + ".PVF").st_mode & 07777, 0600u) << mask;
    EXPECT_EQ(Has_Mark(source + ".PVF"), marks_kept);
    copier_->Delete_Copy();
    EXPECT_FALSE(Exists(source + ".PVF"));
  }
}

TEST_F(Probe_Copier_Test, UsersFileAtCopyPathIsLeftUntouched) {
  tree_.Write_File("a.doc", "new");
  const std::string own = tree_.Write_File("a.doc.bak", "the user's own");
  const auto before = Link_Status(own);

  EXPECT_THROW(Copy("a.doc", "a.doc.bak"), Check_Error);
  EXPECT_THROW(copier_->Delete_Copy(), Check_Error);
  EXPECT_EQ(Temp_Tree::Read_File(own), "the user's own");
  EXPECT_EQ(Link_Status(own).st_ino, before.st_ino);
}

// A copy left by an interrupted run is known by its mark: the copier replaces
// it, and the walk has it removed; an unmarked file of the same name is a
// user's and stays.
TEST_F(Probe_Copier_Test, MarkedLeftoverIsReplacedOrRemoved) {
  tree_.Write_File("a.doc", "fresh content");
  if (!Write_Marked("a.doc.PVF", "left by an interrupted run")) GTEST_SKIP() << "no extended attributes here";
  Copy("a.doc", "a.doc.PVF");
  EXPECT_EQ(Temp_Tree::Read_File(tree_.Path("a.doc.PVF")), "fresh content");
  EXPECT_TRUE(Has_Mark(tree_.Path("a.doc.PVF")));
  copier_->Delete_Copy();

  ASSERT_TRUE(Write_Marked("gone.doc.PVF", "its source is gone"));
  tree_.Write_File("users.doc.PVF", "named like a copy");
  EXPECT_TRUE(Remove_Leftover("gone.doc.PVF"));
  EXPECT_FALSE(Remove_Leftover("users.doc.PVF"));
  EXPECT_EQ(Root_Entries(), (std::set<std::string>{"a.doc", "users.doc.PVF"}));
}

TEST_F(Probe_Copier_Test, LinkAtCopyPathIsNeverWrittenThrough) {
  tree_.Write_File("a.doc", "new");
  // Even a link to a marked file is no leftover of this program.
  const bool marked = Write_Marked("target", "target content");
  const std::string target = tree_.Path("target");
  const std::string copy = tree_.Path("a.doc.PVF");
  for (const std::string& link_target : {target, tree_.Path("not-there")}) {
    std::filesystem::remove(copy);
    ASSERT_EQ(symlink(link_target.c_str(), copy.c_str()), 0);
    EXPECT_THROW(Copy("a.doc", "a.doc.PVF"), Check_Error) << link_target;
    EXPECT_FALSE(Remove_Leftover("a.doc.PVF"));
    EXPECT_TRUE(S_ISLNK(Link_Status(copy).st_mode));
  }
  EXPECT_EQ(Temp_Tree::Read_File(target), "target content");
  EXPECT_EQ(Has_Mark(target), marked);
  EXPECT_FALSE(Exists(tree_.Path("not-there")));
}

// Whatever takes the copy's name before the delete stays: a user's file
// renamed over it, or one made where another program had removed the copy,
// which the file system may give the copy's inode number, marks or not.
TEST_F(Probe_Copier_Test, DeleteRemovesOnlyTheFileItMade) {
  tree_.Write_File("a.doc", "content");
  const std::string copy = tree_.Path("a.doc.PVF");

  Copy("a.doc", "a.doc.PVF");
  const std::string incoming = tree_.Write_File("incoming", "renamed over it");
  ASSERT_EQ(rename(incoming.c_str(), copy.c_str()), 0);
  EXPECT_THROW(copier_->Delete_Copy(), Check_Error);
  EXPECT_EQ(Temp_Tree::Read_File(copy), "renamed over it");

  std::filesystem::remove(copy);
  Copy("a.doc", "a.doc.PVF");
  std::filesystem::remove(copy);
  Write_Marked("a.doc.PVF", "made there since");
  EXPECT_THROW(copier_->Delete_Copy(), Check_Error);
  EXPECT_EQ(Temp_Tree::Read_File(copy), "made there since");
  EXPECT_EQ(Root_Entries(), (std::set<std::string>{"a.doc", "a.doc.PVF"}));
}

// A file of someone else's found at the copy's name, whose name is taken
// again while it is set aside, is given a name beside it that the user sees,
// and the failure names it.
TEST_F(Probe_Copier_Test, StrangerWhoseNameIsTakenAgainIsLeftInSight) {
  tree_.Write_File("a.doc", "content");
  Copy("a.doc", "a.doc.PVF");
  const std::string copy = tree_.Path("a.doc.PVF");
  const std::string incoming = tree_.Write_File("incoming", "renamed over it");
  ASSERT_EQ(rename(incoming.c_str(), copy.c_str()), 0);
  Set_Own_File_Hook([this](Own_File_Step step, int, const std::string&) {
    if (step == Own_File_Step::Set_Aside) tree_.Write_File("a.doc.PVF", "came next");
  });
  std::string reason;
  try {
    copier_->Delete_Copy();
  } catch (const Check_Error& error) {
    reason = error.Reason();
  }
  Set_Own_File_Hook({});
  const std::string restored = "a.doc.PVF.palvimo-restored-1";
  EXPECT_NE(reason.find(restored), std::string::npos) << reason;
  EXPECT_EQ(Root_Entries(), (std::set<std::string>{"a.doc", "a.doc.PVF", restored}));
  EXPECT_EQ(Temp_Tree::Read_File(copy), "came next");
  EXPECT_EQ(Temp_Tree::Read_File(tree_.Path(restored)), "renamed over it");
}

// A source is known to be a regular file before it is ever opened: a FIFO or
// device that took a listed file's place is never opened (opening some acts
// on them), so no open of it is ever seen.
TEST_F(Probe_Copier_Test, SourceThatIsNoRegularFileIsNeverOpened) {
  const std::string fifo = tree_.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  tree_.Make_Dir("folder");
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);

  const Alarm_Guard guard(10);
  for (const char* source : {"missing", "fifo", "folder"}) {
    EXPECT_THROW(Copy(source, std::string(source) + ".PVF"), Check_Error) << source;
  }
  char events[4096];
  EXPECT_LT(read(watch, events, sizeof events), 0) << "the FIFO was opened";
  close(watch);
  EXPECT_EQ(Root_Entries(), (std::set<std::string>{"fifo", "folder"}));
}

// A copy never takes the space other programs need: it must leave 5 % of
// the volume (or 1 GiB) free for them, or it is skipped before it begins.
TEST_F(Probe_Copier_Test, CopyThatWouldCrowdTheVolumeIsSkipped) {
  const Tmpfs_Mount mount(tree_.Path("small"), "32m");
  if (!mount.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::string folder = tree_.Path("small");
  tree_.Write_File("small/fits.bin", Random_Content(6 * MiB));
  // Its copy would fit, but leave only 1 MiB of the 1.6 MiB kept free.
  tree_.Write_File("small/crowds.bin", Random_Content(12 * MiB + MiB / 2));

  Copy("fits.bin", "fits.bin.PVF", folder);
  copier_->Delete_Copy();
  try {
    Copy("crowds.bin", "crowds.bin.PVF", folder);
    ADD_FAILURE() << "the copy should have been skipped";
  } catch (const Check_Error& error) {
    EXPECT_EQ(error.Reason(), "no space left for the copy");
  }
  EXPECT_FALSE(Exists(tree_.Path("small/crowds.bin.PVF")));
}

// The drive stalls the probe's open of its source (here another holder's
// lease on the file makes the open wait): the window is kept alive all the
// while, ending the program does not wait for the drive, and no copy is left
// once the stalled call comes back either.
TEST_F(Probe_Copier_Test, EndingWhileTheDriveStallsLeavesNoCopy) {
  const std::string source = tree_.Write_File("stalled.bin", Random_Content(MiB));
  signal(SIGIO, SIG_IGN);  // the lease's break notice
  const int lease = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(lease, 0);
  if (fcntl(lease, F_SETLEASE, F_WRLCK) != 0) GTEST_SKIP() << "no file leases here: " << errno;
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, tree_.Root().c_str(), IN_CREATE | IN_DELETE), 0);

  events_.End_At_Keep_Alive = 10;
  const Alarm_Guard guard(30);
  EXPECT_THROW(Copy("stalled.bin", "stalled.bin.PVF"), Program_End);
  EXPECT_EQ(events_.Keep_Alives(), 10);
  EXPECT_EQ(Root_Entries(), std::set<std::string>{"stalled.bin"});

  // The drive answers after all: the worker goes on, finds the program gone
  // and removes what it made.
  fcntl(lease, F_SETLEASE, F_UNLCK);
  close(lease);
  // The volume's abilities are tried in files of their own, made and removed
  // meanwhile; the copy is the file made under another name. Until the copy
  // has come and gone and nothing else is left, this waits (the alarm ends
  // a wait for a file that stays).
  char events[4096];
  bool copy_made = false;
  while (!copy_made || Root_Entries() != std::set<std::string>{"stalled.bin"}) {
    const ssize_t got = read(watch, events, sizeof events);
    ASSERT_GT(got, 0);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      if ((event->mask & IN_CREATE) && event->len > 0 &&
          !std::string_view(event->name).starts_with(".palvimo-checking-"))
        copy_made = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  close(watch);
}

// A drive that stalls the step a test names: the step waits until the test
// opens the gate. What the stalled step waits on outlives this object.
class Stalled_Step {
 public:
  explicit Stalled_Step(Own_File_Step stalled) {
    Set_Own_File_Hook([gate = gate_, stalled](Own_File_Step step, int, const std::string&) {
      if (step != stalled) return;
      std::unique_lock lock(gate->mutex);
      gate->reached = true;
      gate->changed.notify_all();
      gate->changed.wait(lock, [&] { return gate->open; });
    });
  }
  Stalled_Step(const Stalled_Step&) = delete;
  Stalled_Step& operator=(const Stalled_Step&) = delete;
  ~Stalled_Step() {
    Set_Own_File_Hook({});
    const std::lock_guard lock(gate_->mutex);
    gate_->open = true;
    gate_->changed.notify_all();
  }

  void Wait_Reached() {
    std::unique_lock lock(gate_->mutex);
    gate_->changed.wait(lock, [&] { return gate_->reached; });
  }

 private:
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false;
    bool open = false;
  };
  std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
};

// The program ends while the drive stalls the copy between its create and
// its mark: at no moment is there a file of this program's at any name
// without its mark, and once the drive answers, the copy made meanwhile goes.
TEST_F(Probe_Copier_Test, EndingBetweenCreateAndMarkLeavesNoUnmarkedFile) {
  tree_.Write_File("a.doc", "content");
  if (!Write_Marked("probe-of-marks", "")) GTEST_SKIP() << "no extended attributes here";
  std::set<std::string> seen_while_stalled;
  {
    Stalled_Step stall(Own_File_Step::Created);
    events_.End_At_Keep_Alive = events_.Keep_Alives() + 3;
    const Alarm_Guard guard(30);
    EXPECT_THROW(Copy("a.doc", "a.doc.PVF"), Program_End);
    stall.Wait_Reached();
    seen_while_stalled = Root_Entries();
  }
  EXPECT_EQ(seen_while_stalled, (std::set<std::string>{"a.doc", "probe-of-marks"}));
  EXPECT_TRUE(Wait_For_Late_Removals(std::chrono::seconds(10)).empty());
  EXPECT_EQ(Root_Entries(), (std::set<std::string>{"a.doc", "probe-of-marks"}));
}

// Two instances on one tree: neither takes the other's live copy for a
// leftover. The second finds the copy's name taken, and the first deletes
// its own copy as usual.
TEST_F(Probe_Copier_Test, AnotherInstancesLiveCopyIsNeverRemoved) {
  tree_.Write_File("a.doc", "content");
  if (!Write_Marked("probe-of-marks", "")) GTEST_SKIP() << "no extended attributes here";
  Counting_Event_Pump other_events;
  Io_Worker other_worker(other_events);
  const std::unique_ptr<Probe_Copier> other = Make_Probe_Copier(other_worker);

  Copy("a.doc", "a.doc.PVF");
  const ino_t copy = Link_Status(tree_.Path("a.doc.PVF")).st_ino;
  EXPECT_TRUE(other->Remove_Leftover(*files_->Open_Folder(tree_.Root()), "a.doc.PVF"));
  try {
    other->Copy_File(*files_->Open_Folder(tree_.Root()), "a.doc", "a.doc.PVF");
    ADD_FAILURE() << "the other instance replaced the copy";
  } catch (const Check_Error& error) {
    EXPECT_EQ(error.Kind(), Failure_Kind::Name_Taken) << error.what();
  }
  EXPECT_EQ(Link_Status(tree_.Path("a.doc.PVF")).st_ino, copy);
  copier_->Delete_Copy();
  EXPECT_EQ(Root_Entries(), (std::set<std::string>{"a.doc", "probe-of-marks"}));
}

// The drive stalls the copy's removal on the worker when the program ends:
// the ending thread hands the removal over and goes on, the process's wait
// for it is bounded and names the copy left, and the copy still goes once
// the drive answers.
TEST_F(Probe_Copier_Test, EndingDoesNotWaitForAStalledRemoval) {
  tree_.Write_File("a.doc", "content");
  Copy("a.doc", "a.doc.PVF");
  std::vector<std::string> left;
  {
    Stalled_Step stall(Own_File_Step::Set_Aside);
    events_.End_At_Keep_Alive = events_.Keep_Alives() + 3;
    const Alarm_Guard guard(30);
    EXPECT_THROW(copier_->Delete_Copy(), Program_End);
    copier_.reset();
    const auto ended = std::chrono::steady_clock::now();
    left = Wait_For_Late_Removals(std::chrono::milliseconds(100));
    std::cout << "[ figures  ] from the end request to the copier gone, its removal stalled: "
              << std::chrono::duration<double, std::milli>(ended - events_.Ended_At).count() << " ms\n";
  }
  EXPECT_EQ(left, std::vector<std::string>{tree_.Path("a.doc.PVF")});
  EXPECT_TRUE(Wait_For_Late_Removals(std::chrono::seconds(10)).empty());
  EXPECT_EQ(Root_Entries(), std::set<std::string>{"a.doc"});
}

}  // namespace
}  // namespace palvimo
