#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace palvimo::testing {

// A small tmpfs mounted on a folder of a test's tree while the object lives,
// for a file system boundary or a disk that fills up. Mounting needs root:
// tests check Mounted() and skip without it. Declare it after the Temp_Tree
// so that it is unmounted before the tree is removed.
class Tmpfs_Mount {
 public:
  Tmpfs_Mount(const std::string& folder, const std::string& size) : folder_(folder) {
    std::filesystem::create_directories(folder_);
    const std::string options = "size=" + size;
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  Tmpfs_Mount(const Tmpfs_Mount&) = delete;
  Tmpfs_Mount& operator=(const Tmpfs_Mount&) = delete;
  ~Tmpfs_Mount() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }

  bool Mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

}  // namespace palvimo::testing
