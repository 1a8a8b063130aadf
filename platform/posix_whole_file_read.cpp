#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/check_error.h"
#include "platform/chunk_sums.h"
#include "platform/page_cache.h"
#include "platform/unique_fd.h"
#include "platform/whole_file_read.h"

namespace palvimo {

namespace {

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + static_cast<std::int64_t>(time.tv_nsec);
}

File_Stamp Stamp_Of(const struct stat& status) {
  return File_Stamp{static_cast<std::uint64_t>(status.st_size), Nanoseconds(status.st_mtim),
                    Nanoseconds(status.st_ctim), static_cast<std::uint64_t>(status.st_ino),
                    static_cast<std::uint64_t>(status.st_dev)};
}

// Opens without following a link and, where the system allows it (the file's
// owner, or root), without touching its access time, which would be a write.
// O_NONBLOCK keeps a FIFO put in the file's place meanwhile from hanging.
Unique_Fd Open_Quietly(int folder_fd, const std::string& name) {
  constexpr int Flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
#ifdef O_NOATIME
  Unique_Fd fd(Retry_Interrupted([&] { return openat(folder_fd, name.c_str(), Flags | O_NOATIME); }));
  if (fd.Valid() || errno != EPERM) return fd;
#endif
  return Unique_Fd(Retry_Interrupted([&] { return openat(folder_fd, name.c_str(), Flags); }));
}

}  // namespace

File_Stamp Stamp_Of_Open_File(int fd, const std::string& path) {
  struct stat status {};
  if (fstat(fd, &status) != 0) throw Error_From_Errno(path, "cannot read", errno, Failure_Kind::Read);
  return Stamp_Of(status);
}

std::optional<Whole_File_Read> Read_Whole_File(int folder_fd, const std::string& name, const std::string& path,
                                               std::span<std::byte> buffer, const Read_Progress& progress) {
  struct stat folder {};
  struct stat named {};
  if (fstat(folder_fd, &folder) != 0) throw Error_From_Errno(path, "cannot read", errno, Failure_Kind::Read);
  if (fstatat(folder_fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
    throw Error_From_Errno(path, "cannot read", errno, Failure_Kind::Read);
  }
  if (!S_ISREG(named.st_mode) || named.st_dev != folder.st_dev) return std::nullopt;
  const Unique_Fd fd = Open_Quietly(folder_fd, name);
  if (!fd.Valid()) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);

  Whole_File_Read result;
  result.stamp = Stamp_Of_Open_File(fd.Get(), path);
  // Something else took the name between the look and the open.
  if (result.stamp.inode != static_cast<std::uint64_t>(named.st_ino) ||
      result.stamp.device != static_cast<std::uint64_t>(named.st_dev)) {
    return std::nullopt;
  }
  const int blocking = fcntl(fd.Get(), F_GETFL);
  if (blocking >= 0) fcntl(fd.Get(), F_SETFL, blocking & ~O_NONBLOCK);
  Drop_Cached_Pages(fd.Get(), 0, 0);
#ifdef __linux__
  posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

  Chunk_Sums sums;
  while (result.bytes_read < result.stamp.size) {
    const ssize_t got = Retry_Interrupted([&] { return read(fd.Get(), buffer.data(), buffer.size()); });
    if (got < 0) throw Error_From_Errno(path, "cannot read", errno, Failure_Kind::Read);
    if (got == 0) break;
    sums.Add(buffer.first(static_cast<std::size_t>(got)));
    Drop_Cached_Pages(fd.Get(), result.bytes_read, static_cast<std::uint64_t>(got));
    result.bytes_read += static_cast<std::uint64_t>(got);
    if (!progress(static_cast<std::uint64_t>(got))) throw Check_Error(path, "stopped");
  }
  sums.Finish();
  result.chunk_sums = sums.Sums();
  const File_Stamp after = Stamp_Of_Open_File(fd.Get(), path);
  result.steady = after == result.stamp;
  if (result.steady && result.bytes_read < result.stamp.size) {
    throw Check_Error(path,
                      "the file ended after " + std::to_string(result.bytes_read) + " of " +
                          std::to_string(result.stamp.size) + " bytes",
                      Failure_Kind::Read);
  }
  return result;
}

std::optional<std::uint64_t> Regular_File_Size(int folder_fd, const std::string& name) {
  struct stat folder {};
  struct stat named {};
  if (fstat(folder_fd, &folder) != 0 || fstatat(folder_fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(named.st_mode) || named.st_dev != folder.st_dev) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(named.st_size);
}

}  // namespace palvimo
