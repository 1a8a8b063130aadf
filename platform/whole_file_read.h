#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file_stamp.h"

namespace palvimo {

// One read of a whole file, end to end, from the drive.
struct Whole_File_Read {
  File_Stamp stamp;  // taken when it was opened
  // The XXH3 sum of each MiB of what was read, the tail's last.
  std::vector<std::uint64_t> chunk_sums;
  std::uint64_t bytes_read = 0;
  // False when another program changed the file while it was read: the sums
  // then say nothing about the drive.
  bool steady = true;
};

// Told of the bytes of each read as it ends; returns false to stop the read.
using Read_Progress = std::function<bool(std::uint64_t bytes)>;

// Reads the regular file `name` of the open folder `folder_fd` from the drive
// and sums it, with nothing written on the drive: not even its access time
// where the system lets the reader leave it. Its pages are dropped from the
// cache before and as it is read, so that what is summed is what the drive
// holds and the cache is not crowded out. Nothing when `name` is no regular
// file of the folder's own file system (a link, a device, a file mounted from
// elsewhere), since it is not the tree's to read. Throws Check_Error naming
// `path`: kind Read for what the drive failed to give, and a stop, when
// `progress` returns false, of kind Other.
std::optional<Whole_File_Read> Read_Whole_File(int folder_fd, const std::string& name, const std::string& path,
                                               std::span<std::byte> buffer, const Read_Progress& progress);

// The size of the regular file `name` of the open folder `folder_fd`;
// nothing when it is no regular file of the folder's own file system, or
// cannot be looked at.
std::optional<std::uint64_t> Regular_File_Size(int folder_fd, const std::string& name);

}  // namespace palvimo
