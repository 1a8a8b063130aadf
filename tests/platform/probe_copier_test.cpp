#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <string>

#include "platform/check_error.h"
#include "platform/runtime.h"
#include "support/temp_tree.h"
#include "support/tmpfs_mount.h"
#include "tests/platform/counting_event_pump.h"

namespace palvimo {
namespace {

using testing::Counting_Event_Pump;
using testing::Temp_Tree;
using testing::Tmpfs_Mount;

constexpr char Mark[] = "user.palvimo.probe";
constexpr std::size_t MiB = std::size_t{1} << 20;

std::string Random_Content(std::size_t size) {
  std::mt19937 generator(static_cast<unsigned>(size));
  std::string content(size, '\0');
  for (auto& byte : content) byte = static_cast<char>(generator());
  return content;
}

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

  Temp_Tree tree_;
  Counting_Event_Pump events_;
  std::unique_ptr<Probe_Copier> copier_ = Make_Probe_Copier(events_);
  Probe_Copy made_;
};

TEST_F(Probe_Copier_Test, CopyIsByteForByteAndDeleteRemovesIt) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, MiB, 5 * MiB + 123}) {
    const std::string content = Random_Content(size);
    const std::string source = tree_.Write_File("source.bin", content);
    const std::string copy = source + ".PVF";

    copier_->Copy_File(source, copy, made_);
    EXPECT_EQ(Temp_Tree::Read_File(copy), content) << size;
    EXPECT_TRUE(made_.Created);
    EXPECT_EQ(made_.Path, copy);
    EXPECT_EQ(made_.Inode, Link_Status(copy).st_ino);

    copier_->Delete_Copy(made_);
    EXPECT_FALSE(Exists(copy)) << size;
  }
  EXPECT_EQ(events_.Event_Runs(), 0);
}

TEST_F(Probe_Copier_Test, CopyIsPrivateAndMarked) {
  const std::string source = tree_.Write_File("shared.txt", "for everyone");
  ASSERT_EQ(chmod(source.c_str(), 0644), 0);
  copier_->Copy_File(source, source + ".PVF", made_);

  EXPECT_EQ(Link_Status(source + ".PVF").st_mode & 0777, 0600u);
  if (!Write_Marked("probe-of-marks", "")) GTEST_SKIP() << "no extended attributes here";
  EXPECT_TRUE(Has_Mark(source + ".PVF"));
}

TEST_F(Probe_Copier_Test, UsersFileAtCopyPathIsLeftUntouched) {
  const std::string source = tree_.Write_File("a.doc", "new");
  const std::string own = tree_.Write_File("a.doc.bak", "the user's own");
  const auto before = Link_Status(own);

  EXPECT_THROW(copier_->Copy_File(source, own, made_), Check_Error);
  EXPECT_FALSE(made_.Created);
  EXPECT_EQ(Temp_Tree::Read_File(own), "the user's own");
  EXPECT_EQ(Link_Status(own).st_ino, before.st_ino);
}

TEST_F(Probe_Copier_Test, MarkedLeftoverIsReplaced) {
  const std::string source = tree_.Write_File("a.doc", "fresh content");
  if (!Write_Marked("a.doc.PVF", "left by an interrupted run")) {
    GTEST_SKIP() << "no extended attributes here";
  }
  copier_->Copy_File(source, source + ".PVF", made_);

  EXPECT_TRUE(made_.Created);
  EXPECT_EQ(Temp_Tree::Read_File(source + ".PVF"), "fresh content");
  EXPECT_TRUE(Has_Mark(source + ".PVF"));
}

TEST_F(Probe_Copier_Test, LinkAtCopyPathIsNeverWrittenThrough) {
  const std::string source = tree_.Write_File("a.doc", "new");
  // Even a link to a marked file is no leftover of this program.
  const bool marked = Write_Marked("target", "target content");
  const std::string target = tree_.Path("target");
  for (const std::string& link_target : {target, tree_.Path("not-there")}) {
    const std::string copy = tree_.Path("a.doc.PVF");
    std::filesystem::remove(copy);
    ASSERT_EQ(symlink(link_target.c_str(), copy.c_str()), 0);

    EXPECT_THROW(copier_->Copy_File(source, copy, made_), Check_Error) << link_target;
    EXPECT_FALSE(made_.Created);
    EXPECT_TRUE(S_ISLNK(Link_Status(copy).st_mode));
  }
  EXPECT_EQ(Temp_Tree::Read_File(target), "target content");
  EXPECT_EQ(Has_Mark(target), marked);
  EXPECT_FALSE(Exists(tree_.Path("not-there")));
}

TEST_F(Probe_Copier_Test, DeleteRemovesOnlyTheFileItMade) {
  const std::string source = tree_.Write_File("a.doc", "content");
  const std::string copy = source + ".PVF";
  EXPECT_THROW(copier_->Delete_Copy(Probe_Copy{copy, false, 0, 0}), Check_Error);

  // Another file renamed over the copy.
  copier_->Copy_File(source, copy, made_);
  const std::string incoming = tree_.Write_File("incoming", "renamed over it");
  ASSERT_EQ(rename(incoming.c_str(), copy.c_str()), 0);
  EXPECT_THROW(copier_->Delete_Copy(made_), Check_Error);
  EXPECT_EQ(Temp_Tree::Read_File(copy), "renamed over it");

  // The copy deleted and another file made in its place, which the file
  // system may give the freed inode number.
  std::filesystem::remove(copy);
  copier_->Copy_File(source, copy, made_);
  std::filesystem::remove(copy);
  tree_.Write_File("a.doc.PVF", "made there since");
  EXPECT_THROW(copier_->Delete_Copy(made_), Check_Error);
  EXPECT_EQ(Temp_Tree::Read_File(copy), "made there since");
}

TEST_F(Probe_Copier_Test, FailureBeforeTheCopyExistsLeavesNothing) {
  const std::string fifo = tree_.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // no writer: a blocking open would hang
  const std::string file = tree_.Write_File("file.txt");
  const struct {
    std::string source, copy;
  } cases[] = {
      {tree_.Path("missing"), tree_.Path("missing.PVF")},
      {fifo, fifo + ".PVF"},
      {tree_.Make_Dir("folder"), tree_.Path("folder.PVF")},
      {file, tree_.Path("no-such-folder/file.txt.PVF")},
  };
  const Alarm_Guard guard(10);
  for (const auto& [source, copy] : cases) {
    EXPECT_THROW(copier_->Copy_File(source, copy, made_), Check_Error) << source;
    EXPECT_FALSE(made_.Created) << source;
    EXPECT_FALSE(Exists(copy)) << source;
  }
}

TEST_F(Probe_Copier_Test, FullDiskFailsAndLeavesNoPartialCopy) {
  const std::string source = tree_.Write_File("big.bin", Random_Content(2 * MiB));
  const Tmpfs_Mount mount(tree_.Path("small"), "1m");
  if (!mount.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::string copy = tree_.Path("small/big.bin.PVF");

  EXPECT_THROW(copier_->Copy_File(source, copy, made_), Check_Error);
  ASSERT_TRUE(made_.Created);
  copier_->Delete_Copy(made_);
  EXPECT_TRUE(std::filesystem::is_empty(tree_.Path("small")));
}

}  // namespace
}  // namespace palvimo
