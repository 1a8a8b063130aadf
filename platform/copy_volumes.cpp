#include "platform/copy_volumes.h"

#include <sys/stat.h>

#include "platform/file_calls.h"
#include "platform/volume_source.h"

namespace palvimo {

std::string Copy_Volume::Relative(const std::string& path) const {
  if (mount_point == "/" || mount_point.empty()) return path;
  if (path.starts_with(mount_point + "/")) return path.substr(mount_point.size());
  return path;
}

std::string Copy_Volume::Full(const std::string& relative) const {
  if (mount_point == "/" || mount_point.empty()) return relative;
  return mount_point + relative;
}

std::shared_ptr<const Copy_Volume> Copy_Volumes::For(int folder_fd, const std::string& folder_path) {
  struct stat folder {};
  const bool known_device = Calls().status(folder_fd, &folder) == 0;
  if (known_device) {
    const std::lock_guard lock(mutex_);
    if (const auto found = known_.find(folder.st_dev); found != known_.end()) return found->second;
  }
  auto volume = std::make_shared<Copy_Volume>();
  volume->device = folder.st_dev;
#ifdef __linux__
  const Volume holding = Volume_Holding(folder_path);
  volume->identity = Volume_Identity(holding);
  volume->mount_point = holding.Mount_Point;
  volume->abilities = Probe_Volume(folder_fd, holding.Type);
#else
  volume->identity = "device:" + std::to_string(folder.st_dev);
  volume->mount_point = "/";
  volume->abilities = Probe_Volume(folder_fd, std::string());
#endif
  volume->note = Volume_Note(volume->abilities);
  if (!known_device) return volume;
  const std::lock_guard lock(mutex_);
  return known_.try_emplace(folder.st_dev, std::move(volume)).first->second;
}

}  // namespace palvimo
