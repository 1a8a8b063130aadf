#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/check_error.h"
#include "platform/keep_alive.h"
#include "platform/runtime.h"
#include "platform/unique_fd.h"

#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace palvimo {
namespace {

// Large enough that a copy runs at the drive's speed; page-aligned, as the
// kernel moves whole pages most cheaply.
constexpr std::size_t Buffer_Size = std::size_t{1} << 20;
constexpr std::size_t Buffer_Alignment = 4096;

// The extended attribute every copy this program makes carries.
[[maybe_unused]] constexpr char Mark_Attribute[] = "user.palvimo.probe";

// A step that this file system or file does not support is skipped: the copy
// is still made, only without it.
bool Is_Unsupported(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP || error == EINVAL || error == EROFS;
}

Check_Error Not_Made_Here(const std::string& path) {
  return Check_Error(path, "a file this program did not make is at the copy's path");
}

// The kernel may forget the file's cached pages: before the read, so that it
// comes from the drive; after the flushed write, so that copies do not crowd
// the cache. Only advice, so a refusal changes nothing.
void Drop_Cached_Pages([[maybe_unused]] int fd) {
#ifdef __linux__
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
#endif
}

// Makes the copy's bytes reach the drive before the pause; a copy deleted
// while still in the cache would never be written at all.
void Flush_To_Drive(int fd, const std::string& path) {
#ifdef __linux__
  const int result = Retry_Interrupted([fd] { return fdatasync(fd); });
#else
  const int result = Retry_Interrupted([fd] { return fsync(fd); });
#endif
  if (result != 0 && !Is_Unsupported(errno)) throw Error_From_Errno(path, errno);
}

// A copy's identity: the path may come to name another file meanwhile.
struct File_Id {
  std::uint64_t Device;
  std::uint64_t Inode;
  bool operator==(const File_Id&) const = default;
};

File_Id Id_Of(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// 0, or the error that kept a new copy from being marked. Without extended
// attributes a copy stays unmarked: a leftover of it is then never replaced,
// which is the safe side.
int Set_Mark([[maybe_unused]] int fd) {
#ifdef __linux__
  if (fsetxattr(fd, Mark_Attribute, "1", 1, 0) != 0 && !Is_Unsupported(errno)) return errno;
#endif
  return 0;
}

enum class Mark_State { Present, Absent, Unsupported };

Mark_State Read_Mark([[maybe_unused]] int fd, [[maybe_unused]] const std::string& path) {
#ifdef __linux__
  if (fgetxattr(fd, Mark_Attribute, nullptr, 0) >= 0) return Mark_State::Present;
  if (errno == ENODATA) return Mark_State::Absent;
  if (Is_Unsupported(errno)) return Mark_State::Unsupported;
  throw Error_From_Errno(path, errno);
#else
  return Mark_State::Unsupported;
#endif
}

struct Inspected {
  File_Id Id;
  Mark_State Mark;
};

// What is at `path`, looked at without following a link and without ever
// blocking; nothing when the path is empty. Only a regular file is opened,
// since opening a device can act on it; anything else raises Check_Error.
std::optional<Inspected> Inspect(const std::string& path) {
  struct stat found {};
  if (lstat(path.c_str(), &found) != 0) {
    if (errno == ENOENT) return std::nullopt;
    throw Error_From_Errno(path, errno);
  }
  if (!S_ISREG(found.st_mode)) throw Not_Made_Here(path);
  const Unique_Fd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) {
    if (errno == ENOENT) return std::nullopt;
    throw Error_From_Errno(path, errno);
  }
  struct stat opened {};
  if (fstat(fd.Get(), &opened) != 0) throw Error_From_Errno(path, errno);
  if (!S_ISREG(opened.st_mode)) throw Not_Made_Here(path);
  return Inspected{Id_Of(opened), Read_Mark(fd.Get(), path)};
}

// Deletes the file at `path` only while the path still names that file.
void Unlink_If_Same(const std::string& path, File_Id id) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) throw Error_From_Errno(path, errno);
  if (Id_Of(status) != id) throw Not_Made_Here(path);
  if (unlink(path.c_str()) != 0) throw Error_From_Errno(path, errno);
}

// Removes a copy left at `path` by an interrupted run, known by its mark.
// Anything else there (a user's file, a link, a folder) stays untouched and
// raises Check_Error. Returns quietly when the path has meanwhile emptied.
void Remove_Leftover(const std::string& path) {
  const auto found = Inspect(path);
  if (!found) return;
  if (found->Mark != Mark_State::Present) throw Not_Made_Here(path);
  Unlink_If_Same(path, found->Id);
}

struct Source {
  Unique_Fd Fd;
  std::uint64_t Size;
};

// Never waits: a FIFO or device that took the listed file's place fails here
// instead of hanging the program.
Source Open_Source(const std::string& path) {
  Unique_Fd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) throw Error_From_Errno(path, errno);
  struct stat status {};
  if (fstat(fd.Get(), &status) != 0) throw Error_From_Errno(path, errno);
  if (!S_ISREG(status.st_mode)) throw Check_Error(path, "not a regular file");
  return {std::move(fd), static_cast<std::uint64_t>(status.st_size)};
}

int Create_Exclusive(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
              S_IRUSR | S_IWUSR);
}

// Creates the copy where nothing was, or where only a marked leftover was,
// and names it in `made` as soon as it is a marked copy, so that even a
// partial one is deleted. A copy that cannot be marked is removed at once.
Unique_Fd Create_Copy(const std::string& path, Probe_Copy& made) {
  int fd = Create_Exclusive(path);
  if (fd < 0 && errno == EEXIST) {
    Remove_Leftover(path);
    fd = Create_Exclusive(path);
  }
  if (fd < 0) throw Error_From_Errno(path, errno);
  Unique_Fd copy(fd);
  struct stat status {};
  if (fstat(copy.Get(), &status) != 0) throw Error_From_Errno(path, errno);
  const File_Id id = Id_Of(status);
  if (const int error = Set_Mark(copy.Get()); error != 0) {
    Unlink_If_Same(path, id);
    throw Error_From_Errno(path, error);
  }
  made = Probe_Copy{path, true, id.Device, id.Inode};
  return copy;
}

void Write_All(int fd, const std::byte* data, std::size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t written = Retry_Interrupted([&] { return write(fd, data, size); });
    if (written < 0) throw Error_From_Errno(path, errno);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

struct Free_Buffer {
  void operator()(std::byte* buffer) const { std::free(buffer); }
};

// Copies with its own loop of reads and writes, so that every byte really
// crosses the drive: clones, reflinks and copy offloads would move no data.
class Posix_Probe_Copier final : public Probe_Copier {
 public:
  explicit Posix_Probe_Copier(Event_Pump& events)
      : events_(events),
        buffer_(static_cast<std::byte*>(std::aligned_alloc(Buffer_Alignment, Buffer_Size))) {
    if (!buffer_) throw std::bad_alloc();
  }

  void Copy_File(const std::string& source, const std::string& copy_path,
                 Probe_Copy& made) override {
    made = Probe_Copy{};
    const Source from = Open_Source(source);
    Drop_Cached_Pages(from.Fd.Get());
    Unique_Fd to = Create_Copy(copy_path, made);
    Copy_Bytes(from, source, to.Get(), copy_path);
    Flush_To_Drive(to.Get(), copy_path);
    Drop_Cached_Pages(to.Get());
    if (to.Close() != 0) throw Error_From_Errno(copy_path, errno);
  }

  void Delete_Copy(const Probe_Copy& made) override {
    if (!made.Created) throw Check_Error(made.Path, "no copy was made");
    const File_Id id{made.Device, made.Inode};
    // The number of a deleted file's inode is soon given to a new one; the
    // mark tells a user's file that got it from the copy.
    const auto found = Inspect(made.Path);
    if (!found) throw Error_From_Errno(made.Path, ENOENT);
    if (found->Id != id || found->Mark == Mark_State::Absent) throw Not_Made_Here(made.Path);
    Unlink_If_Same(made.Path, id);
  }

 private:
  // Copies at most the size seen at open: a file that grows meanwhile cannot
  // keep the copy going, and one that shrinks ends it early.
  void Copy_Bytes(const Source& from, const std::string& source, int to,
                  const std::string& copy_path) {
    using Clock = std::chrono::steady_clock;
    auto next_keep_alive = Clock::now() + Keep_Alive_Interval;
    for (std::uint64_t left = from.Size; left > 0;) {
      const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(left, Buffer_Size));
      const ssize_t got =
          Retry_Interrupted([&] { return read(from.Fd.Get(), buffer_.get(), wanted); });
      if (got < 0) throw Error_From_Errno(source, errno);
      if (got == 0) return;
      Write_All(to, buffer_.get(), static_cast<std::size_t>(got), copy_path);
      left -= static_cast<std::uint64_t>(got);
      if (const auto now = Clock::now(); now >= next_keep_alive) {
        // Abandoned as a failed copy when the program is ending, so that the
        // probe still deletes the partial file.
        if (!events_.Keep_Alive()) throw Check_Error(copy_path, "the program is ending");
        next_keep_alive = now + Keep_Alive_Interval;
      }
    }
  }

  Event_Pump& events_;
  std::unique_ptr<std::byte, Free_Buffer> buffer_;
};

}  // namespace

std::unique_ptr<Probe_Copier> Make_Probe_Copier(Event_Pump& events) {
  return std::make_unique<Posix_Probe_Copier>(events);
}

}  // namespace palvimo
