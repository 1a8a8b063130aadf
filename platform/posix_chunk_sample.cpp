#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/check_error.h"
#include "platform/chunk_sample.h"
#include "platform/chunk_sums.h"
#include "platform/page_cache.h"
#include "platform/unique_fd.h"

namespace palvimo {

namespace {

// As a probe opens its file: no link followed, no FIFO waited on, and no
// access time written where the system lets the reader leave it.
Unique_Fd Open_Quietly(const std::string& path) {
  constexpr int Flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
#ifdef O_NOATIME
  Unique_Fd fd(Retry_Interrupted([&] { return open(path.c_str(), Flags | O_NOATIME); }));
  if (fd.Valid() || errno != EPERM) return fd;
#endif
  return Unique_Fd(Retry_Interrupted([&] { return open(path.c_str(), Flags); }));
}

}  // namespace

Chunk_Sample Read_Chunk_Sample(const std::string& path, const std::vector<std::uint64_t>& chunks,
                               std::span<std::byte> buffer) {
  const Unique_Fd fd = Open_Quietly(path);
  if (!fd.Valid()) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
  Chunk_Sample sample;
  sample.stamp = Stamp_Of_Open_File(fd.Get(), path);
  for (const std::uint64_t chunk : chunks) {
    const std::uint64_t start = chunk * Chunk_Sums::Chunk_Size;
    Drop_Cached_Pages(fd.Get(), start, Chunk_Sums::Chunk_Size);
    Chunk_Sums sums;
    std::uint64_t done = 0;
    while (done < Chunk_Sums::Chunk_Size) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), Chunk_Sums::Chunk_Size - done));
      const ssize_t got = Retry_Interrupted(
          [&] { return pread(fd.Get(), buffer.data(), want, static_cast<off_t>(start + done)); });
      if (got < 0) throw Error_From_Errno(path, "cannot read", errno, Failure_Kind::Read);
      if (got == 0) break;
      sums.Add(buffer.first(static_cast<std::size_t>(got)));
      done += static_cast<std::uint64_t>(got);
    }
    Drop_Cached_Pages(fd.Get(), start, Chunk_Sums::Chunk_Size);
    sums.Finish();
    sample.sums.push_back(sums.Sums().empty() ? 0 : sums.Sums().front());
  }
  return sample;
}

}  // namespace palvimo
