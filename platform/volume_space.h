#pragma once

#include <cstdint>
#include <optional>

namespace palvimo {

// How large a volume says it is and how much of it it says is free for the
// user's files (what an unprivileged program may still write), in bytes.
struct Volume_Space {
  std::uint64_t size = 0;
  std::uint64_t free = 0;
};

// The space of the volume that holds the open folder `folder_fd`; nothing
// when the volume does not say.
std::optional<Volume_Space> Space_Of_Folder(int folder_fd);

}  // namespace palvimo
