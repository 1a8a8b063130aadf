#pragma once

#include <chrono>
#include <cstdint>

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
};

}  // namespace palvimo
