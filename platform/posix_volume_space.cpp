#include <sys/statvfs.h>

#include "platform/volume_space.h"

namespace palvimo {

std::optional<Volume_Space> Space_Of_Folder(int folder_fd) {
  struct statvfs volume {};
  if (fstatvfs(folder_fd, &volume) != 0 || volume.f_blocks == 0) return std::nullopt;
  const auto unit = static_cast<std::uint64_t>(volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize);
  return Volume_Space{static_cast<std::uint64_t>(volume.f_blocks) * unit,
                      static_cast<std::uint64_t>(volume.f_bavail) * unit};
}

}  // namespace palvimo
