#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/volume_abilities.h"

namespace palvimo {

// A volume copies are made on, as the copier knows it.
struct Copy_Volume {
  Volume_Abilities abilities;
  // Volume_Identity: the same wherever and however often it is mounted.
  std::string identity;
  // Where it is mounted now; "/" for the root.
  std::string mount_point;
  dev_t device = 0;
  // Volume_Note of the abilities.
  std::string note;

  // The path from the mount point of the full path `path` on the volume,
  // beginning with '/'.
  std::string Relative(const std::string& path) const;
  // The full path now of the path `relative` from the mount point.
  std::string Full(const std::string& relative) const;
};

// The volumes copies have been made on, each found out once (Probe_Volume)
// the first time a folder of it is met. Safe to use from several threads.
class Copy_Volumes {
 public:
  // The volume of the open folder `folder_fd` at the full path
  // `folder_path`, tried in that folder when it is new. Never throws.
  std::shared_ptr<const Copy_Volume> For(int folder_fd, const std::string& folder_path);

 private:
  std::mutex mutex_;
  std::map<dev_t, std::shared_ptr<const Copy_Volume>> known_;
};

}  // namespace palvimo
