#pragma once

#include <cstdint>

namespace palvimo::bench {

// This process's storage traffic as the kernel counts it in /proc/self/io.
// Children's traffic is added once they have been waited for, so a delta
// around work done in this process alone counts only that work.
struct Io_Counters {
  std::uint64_t Read_Bytes = 0;             // fetched from the drive
  std::uint64_t Write_Bytes = 0;            // dirtied, counted when dirtied
  std::uint64_t Cancelled_Write_Bytes = 0;  // dirtied but dropped before writeback
};

// Throws std::runtime_error when /proc/self/io cannot be read.
Io_Counters Read_Io_Counters();

// The most memory this process has held resident so far (VmHWM), in MiB.
// Throws std::runtime_error when /proc/self/status cannot be read.
double Peak_Resident_Mib();

}  // namespace palvimo::bench
