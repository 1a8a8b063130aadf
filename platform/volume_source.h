#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/interface.h"

namespace palvimo {

// A mounted volume as the mount table describes it.
struct Volume {
  std::string Mount_Point;
  // The file system's type as the system names it, such as "ext4" or "proc".
  std::string Type;
  // The volume's label; empty when it has none.
  std::string Label;
  // What is mounted, as the table names it ("/dev/sdb1"); empty when unknown.
  std::string Device = {};
  // The file system's UUID as udev names it; empty when it has none.
  std::string Uuid = {};
};

// What tells this volume from every other, the same across unplugging and
// mounting it again elsewhere where the file system has a UUID: "uuid:UUID";
// else the best the mount table gives, its type, source and mount point:
// "tmpfs:tmpfs:/run/user/1000".
inline std::string Volume_Identity(const Volume& volume) {
  if (!volume.Uuid.empty()) return "uuid:" + volume.Uuid;
  return volume.Type + ":" + volume.Device + ":" + volume.Mount_Point;
}

// The volumes mounted where this process sees them.
class Volume_Source : public Interface {
 public:
  // The volumes mounted now, in the order they were mounted: a folder mounted
  // over more than once appears once per mount, the visible one last. An
  // unreadable table lists nothing; never throws.
  virtual std::vector<Volume> Volumes() = 0;
  // A descriptor that reports every change of the mount table as an
  // exceptional condition (POLLPRI); -1 when changes are not reported, and
  // the table must be asked again from time to time.
  virtual int Change_Fd() const = 0;
};

#ifdef __linux__
// The kernel's table of this process's mounts, /proc/self/mountinfo, with
// labels from /dev/disk/by-label.
std::unique_ptr<Volume_Source> Make_Mount_Info_Volumes();

// The volume that holds the folder at the full path `path`, as the mount
// table describes it; only its mount point is known when the table does not
// list it. Looks at the folder and its ancestors on the drive.
Volume Volume_Holding(const std::string& path);
#endif

}  // namespace palvimo
