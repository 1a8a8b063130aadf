#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>

#include "platform/chunk_sums.h"

namespace palvimo {

// The copy to read back: held open as `copy_fd` (for writing only, as it
// may be) and named `name` in the folder `folder_fd`.
struct Copy_On_Drive {
  int folder_fd;
  const std::string& name;
  int copy_fd;
  const std::string& path;
};

// Reads the flushed copy back from the drive, past the page cache (direct
// I/O where the file system takes it, else after its cached pages are
// dropped), and compares it chunk by chunk with `written`, the sums of what
// was written. `buffer` is aligned for direct I/O and a whole number of
// chunks long. Returns the bytes read back. Throws Check_Error: Data_Changed,
// "the copy read back differs from what was written (from byte N)" with N the
// start of the first chunk that differs; Read when the copy cannot be read;
// and, once `stop` is requested, "stopped as the program ends".
std::uint64_t Read_Back(const Copy_On_Drive& copy, const Chunk_Sums& written, std::span<std::byte> buffer,
                        const std::stop_token& stop);

}  // namespace palvimo
