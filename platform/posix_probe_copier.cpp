#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>

#include "platform/check_error.h"
#include "platform/io_worker.h"
#include "platform/posix_own_files.h"
#include "platform/runtime.h"
#include "platform/unique_fd.h"

namespace palvimo {
namespace {

// Large enough that a copy runs at the drive's speed; page-aligned, as the
// kernel moves whole pages most cheaply.
constexpr std::size_t Buffer_Size = std::size_t{1} << 20;
constexpr std::size_t Buffer_Alignment = 4096;
// The copy is flushed as it goes, a window at a time, so that only a few MiB
// are ever waiting in the cache or on their way to the drive: the final flush
// is short, a slow drive is timed as it really writes, and ending, which must
// let the writes already sent finish, never waits for more than that.
constexpr std::uint64_t Flush_Window = std::uint64_t{2} << 20;
// The drive itself is told to make what it holds lasting this often, so that
// the final flush, and an end request, never wait for a whole large copy to
// leave the drive's own cache.
constexpr std::uint64_t Sync_Interval = std::uint64_t{64} << 20;
// A large copy gives its blocks back this much at a time before its name is
// removed, so that an end request is never kept waiting by one long call.
constexpr std::uint64_t Release_Slice = std::uint64_t{64} << 20;
// What a copy must leave free for other programs: 5 % of the volume, or this
// much on a large one.
constexpr std::uint64_t Most_Space_Kept = std::uint64_t{1} << 30;

bool Is_Unsupported(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP || error == EINVAL || error == EROFS ||
         error == ESPIPE || error == ENOSYS;
}

// The kernel may forget a range of the file's cached pages: the source's
// before it is read, so that the read comes from the drive; both files'
// once flushed, so that copies do not crowd the cache. Only advice, so a
// refusal changes nothing.
void Drop_Cached_Pages([[maybe_unused]] int fd, [[maybe_unused]] std::uint64_t offset,
                       [[maybe_unused]] std::uint64_t length) {
#ifdef __linux__
  posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_DONTNEED);
#endif
}

// Starts writing a range of the copy to the drive (`wait` false), or waits
// until it is written (`wait` true).
void Write_Back([[maybe_unused]] int fd, [[maybe_unused]] std::uint64_t offset,
                [[maybe_unused]] std::uint64_t length, [[maybe_unused]] bool wait,
                [[maybe_unused]] const std::string& path) {
#ifdef __linux__
  const unsigned flags = wait ? SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER
                              : SYNC_FILE_RANGE_WRITE;
  const int result = Retry_Interrupted([&] {
    return sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length), flags);
  });
  if (result != 0 && !Is_Unsupported(errno)) throw Error_From_Errno(path, "cannot write the copy", errno);
#endif
}

// Makes the copy's last bytes and its size reach the drive before the pause;
// a copy deleted while still in the cache would never be written at all.
void Flush_To_Drive(int fd, const std::string& path) {
#ifdef __linux__
  const int result = Retry_Interrupted([fd] { return fdatasync(fd); });
#else
  const int result = Retry_Interrupted([fd] { return fsync(fd); });
#endif
  if (result != 0 && !Is_Unsupported(errno)) throw Error_From_Errno(path, "cannot flush the copy", errno);
}

// Raises Check_Error unless writing `still_to_write` more bytes into the
// folder's volume leaves other programs what they need. The space counted
// is what unprivileged users may use: root's reserve is never touched.
void Check_Room(int folder_fd, std::uint64_t still_to_write, const std::string& path) {
  struct statvfs volume {};
  if (fstatvfs(folder_fd, &volume) != 0) return;
  const std::uint64_t block = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
  const std::uint64_t total = static_cast<std::uint64_t>(volume.f_blocks) * block;
  const std::uint64_t available = static_cast<std::uint64_t>(volume.f_bavail) * block;
  const std::uint64_t kept = std::min(total / 20, Most_Space_Kept);
  if (available < kept || available - kept < still_to_write) {
    throw Check_Error(path, "no space left for the copy", Failure_Kind::No_Space);
  }
}

void Write_All(int fd, const std::byte* data, std::size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t written = Retry_Interrupted([&] { return write(fd, data, size); });
    if (written < 0) throw Error_From_Errno(path, "cannot write the copy", errno);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

Unique_Fd Duplicate(const Folder& folder) {
  Unique_Fd fd(fcntl(static_cast<int>(folder.Native_Handle()), F_DUPFD_CLOEXEC, 0));
  if (!fd.Valid()) throw Error_From_Errno(folder.Path(), "cannot open", errno);
  return fd;
}

// True when `name` was a copy this program made, now removed; false, with
// nothing touched, for anything else there or nothing at all.
bool Remove_If_Own(int folder_fd, const std::string& name, const std::string& path) {
  struct stat found {};
  if (fstatat(folder_fd, name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(found.st_mode)) return false;
  const Unique_Fd fd = Open_Regular_File(folder_fd, name, false, path);
  if (!Has_Own_Mark(fd.Get(), path)) return false;
  Remove_Own_File(folder_fd, name, fd.Get(), path);
  return true;
}

struct Free_Buffer {
  void operator()(std::byte* buffer) const { std::free(buffer); }
};

// The probe's copy, shared by the window's thread and the worker. The worker
// makes, writes and deletes it; the window's thread removes it itself when
// the program ends while the worker is stuck on the drive.
struct Copy_Slot {
  Copy_Slot(Unique_Fd folder_fd, std::string copy_name, std::string copy_path)
      : folder(std::move(folder_fd)), name(std::move(copy_name)), path(std::move(copy_path)) {}

  std::mutex mutex;
  const Unique_Fd folder;  // the copy's folder, held for as long as the copy
  const std::string name;
  const std::string path;
  // Held open from its creation until it is gone: its inode, which is what
  // tells the copy from any other file, cannot pass to another file while
  // it is held. The window's thread never closes it, as the worker may be
  // using it.
  Unique_Fd file;
  bool removed = false;  // its name is gone, or was given up on
  bool let_go = false;   // the window's thread went on without the worker

  // With `mutex` held: whether the copy's name still has to be removed.
  bool Exists() const { return file.Valid() && !removed; }
  // With `mutex` held: removes the copy's name, once.
  void Remove() {
    if (!Exists()) return;
    removed = true;
    Remove_Own_File(folder.Get(), name, file.Get(), path);
  }
  // With `mutex` held, on the worker: the descriptor of a copy whose name is
  // gone, for the caller to close once the mutex is released, since closing
  // the last hold on a large deleted file frees its blocks, which takes a
  // while; nothing while the copy still has its name.
  Unique_Fd Release() { return removed ? std::move(file) : Unique_Fd(); }
};

// On the worker: the copy of the source `name`, in the slot's folder, every
// byte read from the drive and written back to it, flushed as it goes.
class Copy_Job {
 public:
  Copy_Job(Copy_Slot& slot, const std::string& name, const std::string& source_path, std::byte* buffer,
           std::stop_token stop)
      : slot_(slot), name_(name), source_path_(source_path), buffer_(buffer), stop_(std::move(stop)) {}

  void Run() {
    const Unique_Fd source = Open_Regular_File(slot_.folder.Get(), name_, true, source_path_);
    struct stat status {};
    if (fstat(source.Get(), &status) != 0) throw Error_From_Errno(source_path_, "cannot read", errno);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    Drop_Cached_Pages(source.Get(), 0, 0);
    Check_Room(slot_.folder.Get(), size, slot_.path);
    const int copy = Create();
    try {
      Copy_Bytes(source.Get(), size, copy);
      Flush_To_Drive(copy, slot_.path);
      Drop_Cached_Pages(copy, 0, 0);
    } catch (const Check_Error&) {
      // A failed copy goes at once, before the pause. Should its removal
      // fail too, the slot keeps it and the probe's delete tries again and
      // reports why.
      Unique_Fd removed;
      {
        const std::lock_guard lock(slot_.mutex);
        Remove_Leaving_It_On_Failure();
        removed = slot_.Release();
      }
      throw;
    }
  }

 private:
  // Creates the copy where nothing was, or where a leftover of this
  // program's was, and puts it in the slot, so that even a partial copy is
  // removed whichever thread ends up removing it.
  int Create() {
    const int folder = slot_.folder.Get();
    Unique_Fd copy = Create_Own_File(folder, slot_.name, slot_.path);
    if (!copy.Valid() && Remove_If_Own(folder, slot_.name, slot_.path)) {
      copy = Create_Own_File(folder, slot_.name, slot_.path);
    }
    if (!copy.Valid()) throw Check_Error(slot_.path, "the copy's name is taken", Failure_Kind::Name_Taken);
    const int fd = copy.Get();
    const std::lock_guard lock(slot_.mutex);
    slot_.file = std::move(copy);
    if (slot_.let_go) {
      slot_.Remove();
      throw Check_Error(slot_.path, "stopped as the program ends");
    }
    return fd;
  }

  // Copies at most the size seen at open: a file that grows meanwhile cannot
  // keep the copy going, and one that shrinks ends it early. Each window is
  // sent to the drive as soon as it is written, and the one before it is
  // waited for, so that writing overlaps flushing.
  void Copy_Bytes(int source, std::uint64_t size, int copy) {
    std::uint64_t done = 0;
    std::uint64_t window_start = 0;
    std::uint64_t settled = 0;  // written to the drive and out of the cache
    std::uint64_t synced = 0;   // made lasting by the drive
    while (done < size) {
      if (stop_.stop_requested()) throw Check_Error(slot_.path, "stopped as the program ends");
      const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, Buffer_Size));
      const ssize_t got = Retry_Interrupted([&] { return read(source, buffer_, wanted); });
      if (got < 0) throw Error_From_Errno(source_path_, "cannot read", errno);
      if (got == 0) break;
      Write_All(copy, buffer_, static_cast<std::size_t>(got), slot_.path);
      done += static_cast<std::uint64_t>(got);
      if (done - window_start < Flush_Window) continue;
      Write_Back(copy, window_start, done - window_start, false, slot_.path);
      if (window_start > settled) {
        Write_Back(copy, settled, window_start - settled, true, slot_.path);
        Drop_Cached_Pages(copy, settled, window_start - settled);
        Drop_Cached_Pages(source, settled, window_start - settled);
        settled = window_start;
      }
      window_start = done;
      if (settled - synced >= Sync_Interval) {
        Flush_To_Drive(copy, slot_.path);
        synced = settled;
      }
      Check_Room(slot_.folder.Get(), size - done, slot_.path);
    }
  }

  void Remove_Leaving_It_On_Failure() {
    try {
      slot_.Remove();
    } catch (const Check_Error&) {
      slot_.removed = false;
    }
  }

  Copy_Slot& slot_;
  const std::string& name_;
  const std::string& source_path_;
  std::byte* buffer_;
  std::stop_token stop_;
};

// On the worker: gives the copy's blocks back a slice at a time, then
// removes its name.
void Delete_Job(Copy_Slot& slot, const std::stop_token& stop) {
  struct stat status {};
  if (fstat(slot.file.Get(), &status) == 0) {
    for (auto size = static_cast<std::uint64_t>(status.st_size); size > Release_Slice && !stop.stop_requested();) {
      size -= Release_Slice;
      if (ftruncate(slot.file.Get(), static_cast<off_t>(size)) != 0) break;
    }
  }
  Unique_Fd removed;
  const std::lock_guard lock(slot.mutex);
  slot.Remove();
  removed = slot.Release();
}

// Copies with its own loop of reads and writes, so that every byte really
// crosses the drive: clones, reflinks and copy offloads would move no data.
class Posix_Probe_Copier final : public Probe_Copier {
 public:
  explicit Posix_Probe_Copier(Io_Worker& worker)
      : worker_(worker),
        buffer_(static_cast<std::byte*>(std::aligned_alloc(Buffer_Alignment, Buffer_Size)), Free_Buffer{}) {
    if (!buffer_) throw std::bad_alloc();
  }

  ~Posix_Probe_Copier() override {
    if (current_) Let_Go(*current_);
  }

  Probe_Figures Copy_File(Folder& folder, const std::string& name, const std::string& copy_name) override {
    if (current_) Let_Go(*std::exchange(current_, nullptr));
    auto slot = std::make_shared<Copy_Slot>(Duplicate(folder), copy_name, folder.Path_Of(copy_name));
    current_ = slot;
    bool finished = false;
    try {
      finished = worker_.Run([slot, name, source_path = folder.Path_Of(name), buffer = buffer_](std::stop_token stop) {
        Copy_Job(*slot, name, source_path, buffer.get(), std::move(stop)).Run();
      });
    } catch (const Check_Error&) {
      // Only a copy that could not be removed stays for the delete.
      const std::lock_guard lock(slot->mutex);
      if (!slot->Exists()) current_.reset();
      throw;
    }
    if (!finished) End_With(std::move(slot));
    return {};
  }

  void Delete_Copy() override {
    const std::shared_ptr<Copy_Slot> slot = std::exchange(current_, nullptr);
    if (!slot) throw Check_Error(std::string(), "no copy was made");
    if (!worker_.Run([slot](const std::stop_token& stop) { Delete_Job(*slot, stop); })) End_With(slot);
  }

  bool Remove_Leftover(Folder& folder, const std::string& name) override {
    struct Leftover {
      Unique_Fd folder;
      std::string name;
      std::string path;
      bool removed = false;
    };
    auto leftover = std::make_shared<Leftover>(Leftover{Duplicate(folder), name, folder.Path_Of(name)});
    const bool finished = worker_.Run([leftover](std::stop_token) {
      leftover->removed = Remove_If_Own(leftover->folder.Get(), leftover->name, leftover->path);
    });
    if (!finished) throw Program_End{};
    return leftover->removed;
  }

 private:
  // The program is ending while the worker still has the copy: it goes now.
  [[noreturn]] void End_With(std::shared_ptr<Copy_Slot> slot) {
    current_.reset();
    Let_Go(*slot);
    throw Program_End{};
  }

  // Removes the copy from this thread, whatever the worker is doing with
  // it, unless the worker is itself removing it and stalled there.
  static void Let_Go(Copy_Slot& slot) {
    std::unique_lock lock(slot.mutex, std::defer_lock);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(40);
    while (!lock.try_lock()) {
      if (std::chrono::steady_clock::now() >= give_up) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    slot.let_go = true;
    try {
      slot.Remove();
    } catch (const Check_Error& error) {
      // The program is ending and has no window left to say it in.
      std::cerr << "palvimo: " << error.Path() << ": " << error.Reason() << '\n';
    }
  }

  Io_Worker& worker_;
  std::shared_ptr<std::byte> buffer_;
  std::shared_ptr<Copy_Slot> current_;
};

}  // namespace

std::unique_ptr<Probe_Copier> Make_Probe_Copier(Io_Worker& worker) {
  return std::make_unique<Posix_Probe_Copier>(worker);
}

}  // namespace palvimo
