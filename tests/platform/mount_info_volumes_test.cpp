#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mount.h>

#include <algorithm>

#include "platform/volume_source.h"
#include "support/temp_tree.h"
#include "support/tmpfs_mount.h"

namespace palvimo {
namespace {

using testing::Temp_Tree;
using testing::Tmpfs_Mount;

bool Lists(Volume_Source& source, const std::string& mount_point, const std::string& type) {
  const std::vector<Volume> volumes = source.Volumes();
  return std::any_of(volumes.begin(), volumes.end(), [&](const Volume& volume) {
    return volume.Mount_Point == mount_point && volume.Type == type;
  });
}

bool Change_Reported(const Volume_Source& source) {
  pollfd watched{source.Change_Fd(), POLLPRI, 0};
  return poll(&watched, 1, 5000) == 1 && (watched.revents & POLLPRI);
}

// On a mount point with a space in its name, which the table escapes.
TEST(Mount_Info_Volumes_Test, MountAndUnmountAreReportedAndListed) {
  const Temp_Tree tree;
  const auto source = Make_Mount_Info_Volumes();
  ASSERT_GE(source->Change_Fd(), 0);
  const std::string folder = tree.Path("a drive");
  {
    const Tmpfs_Mount mount(folder, "1m");
    if (!mount.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    EXPECT_TRUE(Change_Reported(*source));
    EXPECT_TRUE(Lists(*source, folder, "tmpfs"));
  }
  EXPECT_TRUE(Change_Reported(*source));
  EXPECT_FALSE(Lists(*source, folder, "tmpfs"));
}

}  // namespace
}  // namespace palvimo
