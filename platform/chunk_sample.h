#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file_stamp.h"

namespace palvimo {

// Some MiB of a file read again from the drive, each with its XXH3 sum, as
// Chunk_Sums sums the same MiB of a whole read.
struct Chunk_Sample {
  File_Stamp stamp;  // taken when it was opened
  std::vector<std::uint64_t> sums;  // one for each chunk asked, in that order
};

// Reads the chunks `chunks` (indexes of Chunk_Sums::Chunk_Size bytes) of the
// regular file at the full path `path` from the drive: each chunk's cached
// pages are dropped before and after it is read, and the file is opened
// without following a link and, where allowed, without touching its access
// time. A chunk wholly past the file's end sums as 0. Throws
// Check_Error naming `path`: kind Read for what the drive failed to give, the
// kind errno says for the rest (Vanished for a file gone).
Chunk_Sample Read_Chunk_Sample(const std::string& path, const std::vector<std::uint64_t>& chunks,
                               std::span<std::byte> buffer);

}  // namespace palvimo
