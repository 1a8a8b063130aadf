#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "platform/check_error.h"
#include "platform/copier_hooks.h"
#include "platform/file_system.h"
#include "platform/io_worker.h"
#include "support/random_content.h"
#include "support/temp_tree.h"
#include "tests/platform/counting_event_pump.h"

namespace palvimo {
namespace {

using testing::Counting_Event_Pump;
using testing::Random_Content;
using testing::Temp_Tree;

constexpr std::size_t MiB = std::size_t{1} << 20;

// A probe on a drive that misbehaves as the hooks make it: the probe must
// fail with the right reason and kind, or pass where no fault is the drive's,
// and no failed copy may stay.
class Copier_Faults_Test : public ::testing::Test {
 protected:
  // Probes the file `path` with a copier whose drive calls go through
  // `hooks`; the failure it raised, or none.
  std::optional<Check_Error> Probe(const std::string& path, Copier_Hooks hooks) {
    const std::filesystem::path file(path);
    const std::string name = file.filename();
    const auto copier = Make_Probe_Copier(worker_, std::move(hooks));
    try {
      figures_ = copier->Copy_File(*files_->Open_Folder(file.parent_path()), name, name + ".PVF");
      copied_ = Temp_Tree::Read_File(path + ".PVF");
      copier->Delete_Copy();
    } catch (const Check_Error& error) {
      EXPECT_FALSE(std::filesystem::exists(path + ".PVF")) << "a failed copy stayed";
      return error;
    }
    return std::nullopt;
  }

  Temp_Tree tree_;
  Counting_Event_Pump events_;
  std::unique_ptr<File_System> files_ = Make_Local_File_System();
  Io_Worker worker_{events_};
  Probe_Figures figures_;
  std::string copied_;
};

// The copy is changed behind the copier's back after its flush, as a drive
// that stores wrong data would: the read-back finds it, at the start of the
// chunk that holds the change, in a whole chunk and in the tail.
TEST_F(Copier_Faults_Test, CopyChangedAfterItsFlushIsFoundWhereItDiffers) {
  const std::string content = Random_Content(5 * MiB + MiB / 2);
  const std::string source = tree_.Write_File("data.bin", content);
  const std::string copy = source + ".PVF";
  EXPECT_FALSE(Probe(source, {}));
  EXPECT_EQ(copied_, content);
  EXPECT_EQ(figures_.bytes_read, content.size());
  EXPECT_EQ(figures_.bytes_written, content.size());
  EXPECT_EQ(figures_.bytes_read_back, content.size());

  for (const std::size_t changed : {3 * MiB + 100, 5 * MiB + 7}) {
    Copier_Hooks hooks;
    hooks.before_read_back = [&] {
      const int fd = open(copy.c_str(), O_WRONLY | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      const char flipped = static_cast<char>(~content[changed]);
      EXPECT_EQ(pwrite(fd, &flipped, 1, static_cast<off_t>(changed)), 1);
      EXPECT_EQ(fdatasync(fd), 0);
      close(fd);
    };
    const auto failure = Probe(source, std::move(hooks));
    ASSERT_TRUE(failure) << source << " " << changed;
    EXPECT_EQ(failure->Reason(), "the copy read back differs from what was written (from byte " +
                                     std::to_string(changed / MiB * MiB) + ")");
    EXPECT_EQ(failure->Kind(), Failure_Kind::Data_Changed);
  }
}

// Reads that end before the size seen at open fail the probe while the file
// keeps that size; a file that another program shortened meanwhile is copied
// as it now is.
TEST_F(Copier_Faults_Test, SourceEndingEarlyFailsUnlessItWasShortened) {
  const std::string content = Random_Content(3 * MiB);
  const std::string source = tree_.Write_File("data.bin", content);

  Copier_Hooks drive_gives_up;
  std::size_t reads = 0;
  drive_gives_up.read_source = [&](int fd, void* buffer, std::size_t size) -> ssize_t {
    return ++reads > 1 ? 0 : read(fd, buffer, size);
  };
  const auto failure = Probe(source, std::move(drive_gives_up));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Reason(), "the file ended after 1048576 of 3145728 bytes");
  EXPECT_EQ(failure->Kind(), Failure_Kind::Read);

  Copier_Hooks shortened;
  shortened.read_source = [&](int fd, void* buffer, std::size_t size) {
    if (std::filesystem::file_size(source) == content.size()) std::filesystem::resize_file(source, MiB + 10);
    return read(fd, buffer, size);
  };
  EXPECT_FALSE(Probe(source, std::move(shortened)));
  EXPECT_EQ(copied_, content.substr(0, MiB + 10));
  EXPECT_EQ(figures_.bytes_read_back, MiB + 10);
}

// A drive that takes nothing and says nothing fails the probe at its first
// write; left to loop, the copy would end only on an error that never came.
TEST_F(Copier_Faults_Test, WriteThatTakesNothingFailsAtOnce) {
  const std::string source = tree_.Write_File("data.bin", Random_Content(2 * MiB));
  Copier_Hooks hooks;
  std::atomic<int> writes = 0;
  hooks.write_copy = [&](int, const void*, std::size_t) -> ssize_t {
    if (++writes < 100) return 0;
    errno = EIO;
    return -1;
  };
  const auto failure = Probe(source, std::move(hooks));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Reason(), "the drive accepted no data");
  EXPECT_EQ(failure->Kind(), Failure_Kind::Write);
  EXPECT_EQ(writes, 1);
}

// A flush that fails is the drive's failure, whatever the reason, unless
// the file system has no flush at all.
TEST_F(Copier_Faults_Test, FailedFlushIsReportedWithItsReason) {
  const std::string source = tree_.Write_File("data.bin", Random_Content(MiB));
  for (const int error : {EROFS, EINVAL, EIO, ENOSYS}) {
    Copier_Hooks hooks;
    hooks.flush_copy = [error](int) {
      errno = error;
      return -1;
    };
    const auto failure = Probe(source, std::move(hooks));
    if (error == ENOSYS) {
      EXPECT_FALSE(failure);
      continue;
    }
    ASSERT_TRUE(failure) << error;
    EXPECT_EQ(failure->Reason(), "cannot flush the copy: " + std::system_category().message(error));
    EXPECT_EQ(failure->Kind(), Failure_Kind::Flush) << failure->Reason();
  }
}

}  // namespace
}  // namespace palvimo
