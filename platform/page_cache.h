#pragma once

#include <fcntl.h>

#include <cstdint>

namespace palvimo {

// Asks the kernel to forget a range of a file's cached pages (`length` 0:
// to the end), so that the next read of it comes from the drive and a copy
// does not crowd other programs' data out of the cache. Only advice, so a
// refusal changes nothing; dirty pages stay until written.
inline void Drop_Cached_Pages([[maybe_unused]] int fd, [[maybe_unused]] std::uint64_t offset,
                              [[maybe_unused]] std::uint64_t length) {
#ifdef __linux__
  posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_DONTNEED);
#endif
}

}  // namespace palvimo
