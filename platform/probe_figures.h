#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/file_stamp.h"

namespace palvimo {

// What one probe did on the drive: the bytes of each step and the time each
// took there (the read of the source, the write of the copy with its
// flushes, the read-back of the copy), for the run's record and its speeds.
struct Probe_Figures {
  std::uint64_t bytes_read = 0;
  std::uint64_t bytes_written = 0;
  std::uint64_t bytes_read_back = 0;
  std::chrono::nanoseconds read_time{0};
  std::chrono::nanoseconds write_time{0};
  std::chrono::nanoseconds read_back_time{0};
  // The source as it was opened, and the XXH3 sum of each MiB read of it;
  // no sums unless the whole file was read and it stayed as it was opened.
  File_Stamp stamp{};
  std::vector<std::uint64_t> chunk_sums{};
};

}  // namespace palvimo
