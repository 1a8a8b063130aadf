#include "platform/drive_identity.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "support/temp_tree.h"

namespace palvimo {
namespace {

using testing::Temp_Tree;

// Output of a command run through the shell; empty when it failed.
std::string Output_Of(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return {};
  std::string output;
  char block[256];
  while (const std::size_t got = fread(block, 1, sizeof block, pipe.get())) output.append(block, got);
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

// A loop device over a file of the test's own, detached at the end.
class Loop_Device {
 public:
  explicit Loop_Device(const std::string& image) {
    if (geteuid() != 0 || access("/dev/loop-control", F_OK) != 0) return;
    node_ = Output_Of("losetup --find --show '" + image + "' 2>/dev/null");
  }
  Loop_Device(const Loop_Device&) = delete;
  Loop_Device& operator=(const Loop_Device&) = delete;
  ~Loop_Device() {
    if (!node_.empty()) Output_Of("losetup --detach '" + node_ + "'");
  }
  const std::string& Node() const { return node_; }

 private:
  std::string node_;
};

bool On_Block_Device(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && major(status.st_dev) != 0;
}

TEST(Drive_Identity_Test, LoopDeviceLeadsToItsFileAndTheDriveUnder) {
  const Temp_Tree tree;
  const std::string image = tree.Path("drive.img");
  std::ofstream(image, std::ios::binary).flush();
  ASSERT_EQ(truncate(image.c_str(), 8 << 20), 0);
  const Loop_Device loop(image);
  if (loop.Node().empty()) GTEST_SKIP() << "setting up a loop device needs root and a free loop device";

  const Drive_Identity identity = Identify_Drive({tree.Root(), "ext4", "LOOPED", loop.Node(), "1234-ABCD"});
  EXPECT_EQ(identity.device, loop.Node());
  ASSERT_FALSE(identity.layers.empty());
  EXPECT_EQ("/dev/" + identity.layers.front(), loop.Node());
  EXPECT_EQ(identity.backing_file, image);
  EXPECT_EQ(identity.file_system, "ext4");
  EXPECT_EQ(identity.label, "LOOPED");
  EXPECT_EQ(identity.uuid, "1234-ABCD");
  ASSERT_TRUE(identity.disk);
  if (On_Block_Device(tree.Root())) {
    // The drive is the one the image lies on, not the loop device.
    EXPECT_NE(*identity.disk, loop.Node());
    EXPECT_TRUE(identity.size_bytes);
  } else {
    EXPECT_EQ(*identity.disk, loop.Node());
    EXPECT_EQ(identity.size_bytes, std::uint64_t{8} << 20);
  }
}

// The machine's own root folder may be on any drive or on none (a
// container's overlay): whatever is found must hang together.
TEST(Drive_Identity_Test, RootFolderVolumeIsDescribedOrLeftUnknown) {
  const Volume root = Volume_Holding("/");
  const Drive_Identity identity = Identify_Drive(root);
  EXPECT_EQ(identity.file_system, root.Type);
  if (!identity.device) {
    EXPECT_FALSE(identity.disk);
    EXPECT_FALSE(identity.model);
    return;
  }
  EXPECT_TRUE(identity.device->starts_with("/dev/"));
  if (identity.disk) {
    EXPECT_TRUE(identity.disk->starts_with("/dev/"));
    // A whole disk, never one of its partitions.
    const std::string name = identity.disk->substr(5);
    EXPECT_EQ(access(("/sys/class/block/" + name + "/partition").c_str(), F_OK), -1) << name;
  }
  if (identity.size_bytes) {
    EXPECT_GT(*identity.size_bytes, 0u);
  }
}

TEST(Drive_Identity_Test, VolumeOnNoDriveHasNoDevice) {
  const Drive_Identity identity = Identify_Drive({"/proc", "proc", "", "proc"});
  EXPECT_FALSE(identity.device);
  EXPECT_FALSE(identity.disk);
  EXPECT_EQ(identity.file_system, "proc");
  EXPECT_FALSE(Identify_Drive({"/palvimo/no/such/folder", "", "", ""}).device);
}

}  // namespace
}  // namespace palvimo
