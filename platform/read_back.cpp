#include "platform/read_back.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>

#include "platform/check_error.h"
#include "platform/page_cache.h"
#include "platform/unique_fd.h"

namespace palvimo {

namespace {

// A new descriptor of the very file held open as the copy, for reading with
// `flags`: through the process's descriptor table where there is one, as
// the copy may have no name; else by its name, checked to be that file.
// Not Valid(), with errno set, when it cannot be opened so.
Unique_Fd Open_For_Reading(const Copy_On_Drive& copy, int flags) {
  flags |= O_RDONLY | O_CLOEXEC | O_NOCTTY;
#ifdef __linux__
  const std::string same_inode = "/proc/self/fd/" + std::to_string(copy.copy_fd);
  if (Unique_Fd fd(open(same_inode.c_str(), flags)); fd.Valid() || errno != ENOENT) return fd;
#endif
  Unique_Fd fd(openat(copy.folder_fd, copy.name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK));
  if (!fd.Valid()) return fd;
  struct stat opened {};
  struct stat held {};
  if (fstat(fd.Get(), &opened) != 0 || fstat(copy.copy_fd, &held) != 0) {
    throw Error_From_Errno(copy.path, "cannot read the copy back", errno, Failure_Kind::Read_Back);
  }
  if (opened.st_dev != held.st_dev || opened.st_ino != held.st_ino) {
    throw Check_Error(copy.path, "the copy was replaced before it was read back", Failure_Kind::Vanished);
  }
  return fd;
}

Check_Error Differs(const std::string& path, std::uint64_t offset) {
  return Check_Error(path,
                     "the copy read back differs from what was written (from byte " + std::to_string(offset) + ")",
                     Failure_Kind::Data_Changed);
}

// The copy's descriptor for the read-back, and whether it reads past the
// page cache itself or has had the copy's cached pages dropped instead.
struct Read_Back_File {
  Unique_Fd fd;
  bool direct = false;

  // Direct I/O refused by the file system, at the open or at the first
  // read: the copy is read through the cache, emptied of it first.
  void Read_Through_Cache() {
#ifdef O_DIRECT
    if (direct) fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_DIRECT);
#endif
    direct = false;
    Drop_Cached_Pages(fd.Get(), 0, 0);
  }
};

Read_Back_File Open_Read_Back(const Copy_On_Drive& copy) {
  Read_Back_File file;
#ifdef O_DIRECT
  file.fd = Open_For_Reading(copy, O_DIRECT);
  file.direct = file.fd.Valid();
  if (!file.direct && errno != EINVAL) {
    throw Error_From_Errno(copy.path, "cannot read the copy back", errno, Failure_Kind::Read_Back);
  }
#endif
  if (!file.direct) {
    file.fd = Open_For_Reading(copy, 0);
    if (!file.fd.Valid()) throw Error_From_Errno(copy.path, "cannot read the copy back", errno, Failure_Kind::Read_Back);
    file.Read_Through_Cache();
  }
  return file;
}

}  // namespace

std::uint64_t Read_Back(const Copy_On_Drive& copy, const Chunk_Sums& written, std::span<std::byte> buffer,
                        const std::stop_token& stop) {
  Read_Back_File file = Open_Read_Back(copy);
  Chunk_Sums read_back;
  const std::uint64_t size = written.Size();
  std::uint64_t agreed = 0;  // every chunk before this offset is the same
  while (read_back.Size() < size) {
    if (stop.stop_requested()) throw Check_Error(copy.path, "stopped as the program ends");
    const ssize_t got = Retry_Interrupted([&] { return read(file.fd.Get(), buffer.data(), buffer.size()); });
    if (got < 0 && errno == EINVAL && file.direct) {
      file.Read_Through_Cache();
      continue;
    }
    if (got < 0) throw Error_From_Errno(copy.path, "cannot read the copy back", errno, Failure_Kind::Read_Back);
    if (got == 0) break;
    const std::uint64_t offset = read_back.Size();
    // Bytes past what was written are no part of the comparison.
    const auto taken = std::min<std::uint64_t>(static_cast<std::uint64_t>(got), size - offset);
    read_back.Add(buffer.first(static_cast<std::size_t>(taken)));
    if (!file.direct) Drop_Cached_Pages(file.fd.Get(), offset, static_cast<std::uint64_t>(got));
    if (const auto difference = read_back.First_Difference(written, agreed)) throw Differs(copy.path, *difference);
    agreed = read_back.Size() / Chunk_Sums::Chunk_Size * Chunk_Sums::Chunk_Size;
  }
  read_back.Finish();
  std::optional<std::uint64_t> difference = read_back.First_Difference(written, agreed);
  // A copy that reads back shorter than it was written lost what follows.
  if (!difference && read_back.Size() < size) difference = agreed;
  if (difference) throw Differs(copy.path, *difference);
  return read_back.Size();
}

}  // namespace palvimo
