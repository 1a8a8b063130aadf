#pragma once

#include <cstdint>
#include <string>

namespace palvimo {

// What the file system says of a file that tells one state of its content
// from another without reading it: its size, its modification and change
// times in nanoseconds, and which file it is.
struct File_Stamp {
  std::uint64_t size = 0;
  std::int64_t mtime_ns = 0;
  std::int64_t ctime_ns = 0;
  std::uint64_t inode = 0;
  std::uint64_t device = 0;

  bool operator==(const File_Stamp&) const = default;
};

// The stamp of the open file `fd`. Throws Check_Error naming `path` when the
// file system cannot say it.
File_Stamp Stamp_Of_Open_File(int fd, const std::string& path);

}  // namespace palvimo
