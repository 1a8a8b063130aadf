#include "platform/mount_point.h"

#include <sys/stat.h>

#include <filesystem>

namespace palvimo {

std::string Mount_Point_Of(const std::string& path) {
  struct stat folder {};
  if (stat(path.c_str(), &folder) != 0) return path;
  std::filesystem::path point = path;
  while (point.has_relative_path()) {
    const std::filesystem::path parent = point.parent_path();
    struct stat above {};
    if (stat(parent.c_str(), &above) != 0 || above.st_dev != folder.st_dev) break;
    point = parent;
  }
  return point.string();
}

}  // namespace palvimo
