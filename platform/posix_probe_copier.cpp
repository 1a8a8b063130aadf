#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <stop_token>
#include <string>
#include <utility>

#include "platform/check_error.h"
#include "platform/chunk_sums.h"
#include "platform/copier_hooks.h"
#include "platform/copy_journal.h"
#include "platform/copy_volumes.h"
#include "platform/escaped_text.h"
#include "platform/file_stamp.h"
#include "platform/io_worker.h"
#include "platform/file_calls.h"
#include "platform/late_removals.h"
#include "platform/own_leftovers.h"
#include "platform/page_cache.h"
#include "platform/posix_own_files.h"
#include "platform/read_back.h"
#include "platform/runtime.h"
#include "platform/state_folder.h"
#include "platform/unique_fd.h"

namespace palvimo {
namespace {

// Large enough that a copy runs at the drive's speed; page-aligned, as the
// kernel moves whole pages most cheaply and direct I/O, which reads the copy
// back, needs it. One checksum chunk long, so that reads seldom split one.
constexpr std::size_t Buffer_Size = Chunk_Sums::Chunk_Size;
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

// The file system offers no flush: the copy is as lasting as it makes it,
// which is no fault of the drive's. Every other answer is reported, EINVAL
// and EROFS too, which are what a volume that the kernel has made read-only
// after an error gives.
bool Offers_No_Flush(int error) { return error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP; }

// Adds the time from its making to its end to `total`: a step's time on the
// drive, counted however the step ends.
class Step_Timer {
 public:
  explicit Step_Timer(std::chrono::nanoseconds& total) : total_(total) {}
  Step_Timer(const Step_Timer&) = delete;
  Step_Timer& operator=(const Step_Timer&) = delete;
  ~Step_Timer() {
    const int error = errno;  // the step's, for its caller to read
    total_ += std::chrono::steady_clock::now() - start_;
    errno = error;
  }

 private:
  std::chrono::nanoseconds& total_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

template <typename Step>
auto Timed(std::chrono::nanoseconds& total, Step step) {
  const Step_Timer timer(total);
  return step();
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
  // EINVAL here is a file system without ranged flushes; the full flushes,
  // which such a file system has, still say whether the copy was written.
  if (result != 0 && !Offers_No_Flush(errno) && errno != EINVAL) {
    throw Error_From_Errno(path, "cannot flush the copy", errno, Failure_Kind::Flush);
  }
#endif
}

// Makes the copy's last bytes and its size reach the drive before the pause;
// a copy deleted while still in the cache would never be written at all.
void Flush_To_Drive(int fd, const std::string& path, const Copier_Hooks& hooks) {
  const int result = Retry_Interrupted([&] {
    if (hooks.flush_copy) return hooks.flush_copy(fd);
#ifdef __linux__
    return fdatasync(fd);
#else
    return fsync(fd);
#endif
  });
  if (result != 0 && !Offers_No_Flush(errno)) {
    throw Error_From_Errno(path, "cannot flush the copy", errno, Failure_Kind::Flush);
  }
}

// Raises Check_Error unless writing `still_to_write` more bytes into the
// folder's volume leaves other programs what they need. The space counted
// is what unprivileged users may use: root's reserve is never touched. A
// volume that reports no size (the volume's note says so) cannot be held to
// the rule.
void Check_Room(int folder_fd, const Volume_Abilities& abilities, std::uint64_t still_to_write,
                const std::string& path) {
  struct statvfs volume {};
  if (!abilities.reports_size || Calls().volume_status(folder_fd, &volume) != 0 || volume.f_blocks == 0) return;
  const std::uint64_t block = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
  const std::uint64_t total = static_cast<std::uint64_t>(volume.f_blocks) * block;
  const std::uint64_t available = static_cast<std::uint64_t>(volume.f_bavail) * block;
  const std::uint64_t kept = std::min(total / 20, Most_Space_Kept);
  if (available < kept || available - kept < still_to_write) {
    throw Check_Error(path, "no space left for the copy", Failure_Kind::No_Space);
  }
}

void Write_All(int fd, const std::byte* data, std::size_t size, const std::string& path, const Copier_Hooks& hooks) {
  while (size > 0) {
    const ssize_t written = Retry_Interrupted([&] {
      return hooks.write_copy ? hooks.write_copy(fd, data, size) : Calls().write(fd, data, size);
    });
    if (written < 0) {
      // A volume filled by others meanwhile is no fault of the drive's, which
      // the error's kind says.
      throw Error_From_Errno(path, "cannot write the copy", errno, Failure_Kind::Write);
    }
    // Nothing taken, and no error to say why: asking again would loop for
    // as long as the drive goes on so.
    if (written == 0) throw Check_Error(path, "the drive accepted no data", Failure_Kind::Write);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

Unique_Fd Duplicate(const Folder& folder) {
  Unique_Fd fd(fcntl(static_cast<int>(folder.Native_Handle()), F_DUPFD_CLOEXEC, 0));
  if (!fd.Valid()) throw Error_From_Errno(folder.Path(), "cannot open", errno);
  return fd;
}

struct Free_Buffer {
  void operator()(std::byte* buffer) const { std::free(buffer); }
};

// The probe's copy, shared by the window's thread and the worker. The worker
// makes, writes and deletes it; a thread of its own removes it when the
// program goes on without the worker, which may be stuck on the drive.
struct Copy_Slot {
  Copy_Slot(Unique_Fd folder_fd, std::string copy_name, std::string copy_path, std::string copy_folder_path,
            std::shared_ptr<Copy_Volumes> copy_volumes, std::shared_ptr<Copy_Journal> copy_journal)
      : folder(std::move(folder_fd)), name(std::move(copy_name)), path(std::move(copy_path)),
        folder_path(std::move(copy_folder_path)), volumes(std::move(copy_volumes)), journal(std::move(copy_journal)) {}

  std::mutex mutex;
  const Unique_Fd folder;  // the copy's folder, held for as long as the copy
  const std::string name;
  const std::string path;
  const std::string folder_path;
  const std::shared_ptr<Copy_Volumes> volumes;
  const std::shared_ptr<Copy_Journal> journal;
  // Set on the worker before the copy is made: its volume, how it is made
  // and known, and whether the journal holds it.
  std::shared_ptr<const Copy_Volume> volume;
  Own_File_Plan plan;
  bool journaled = false;
  // Held open from its creation until it is gone: its inode, which is what
  // tells the copy from any other file, cannot pass to another file while
  // it is held. The window's thread never closes it, as the worker may be
  // using it.
  Unique_Fd file;
  bool removed = false;  // its name is gone, or was given up on
  // The window's thread went on without the worker: a copy made from now on
  // goes at once. Set without `mutex`, which the worker may hold while stuck.
  std::atomic<bool> let_go = false;
  // Once let go of, the copy counts as left until the last thread that may
  // still remove it, the worker or the removal's own, is done with it.
  std::unique_ptr<Late_Removal> ending;

  // With `mutex` held: whether the copy's name still has to be removed.
  bool Exists() const { return file.Valid() && !removed; }
  // With `mutex` held: removes the copy's name, once.
  void Remove() {
    if (!Exists()) return;
    removed = true;
    try {
      Remove_Own_File(folder.Get(), name, file.Get(), path, volume->abilities, plan);
    } catch (const Check_Error& error) {
      // A copy gone from its name is nothing a later run could find there.
      if (error.Kind() == Failure_Kind::Vanished || error.Kind() == Failure_Kind::Name_Taken) Forget();
      throw;
    }
    Forget();
  }
  // Takes the copy out of the journal.
  void Forget() {
    if (journaled) journal->Remove(plan.token);
    journaled = false;
  }
  // With `mutex` held, on the worker: the descriptor of a copy whose name is
  // gone, for the caller to close once the mutex is released, since closing
  // the last hold on a large deleted file frees its blocks, which takes a
  // while; nothing while the copy still has its name.
  Unique_Fd Release() { return removed ? std::move(file) : Unique_Fd(); }
};

// On the worker: the copy of the source `name`, in the slot's folder, every
// byte read from the drive and written back to it, flushed as it goes, then
// read back from the drive and compared with what was read.
class Copy_Job {
 public:
  Copy_Job(Copy_Slot& slot, const std::string& name, const std::string& source_path, std::byte* buffer,
           const Copier_Hooks& hooks, std::stop_token stop)
      : slot_(slot), name_(name), source_path_(source_path), buffer_(buffer), hooks_(hooks),
        stop_(std::move(stop)) {}

  Probe_Figures Run() {
    const Unique_Fd source = Open_Source();
    struct stat status {};
    if (fstat(source.Get(), &status) != 0) {
      throw Error_From_Errno(source_path_, "cannot read", errno, Failure_Kind::Read);
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    figures_.stamp = Stamp_Of_Open_File(source.Get(), source_path_);
    Drop_Cached_Pages(source.Get(), 0, 0);
    slot_.volume = slot_.volumes->For(slot_.folder.Get(), slot_.folder_path);
    Check_Room(slot_.folder.Get(), slot_.volume->abilities, size, slot_.path);
    slot_.plan = Plan_Own_File(slot_.volume->abilities);
    Journal_Copy(size);
    int copy = -1;
    try {
      copy = Create();
    } catch (const Check_Error&) {
      slot_.Forget();
      throw;
    }
    try {
      Copy_Bytes(source.Get(), size, copy);
      Stamp_Own_File(copy, slot_.plan);
      Timed(figures_.write_time, [&] { Flush_To_Drive(copy, slot_.path, hooks_); });
      Drop_Cached_Pages(copy, 0, 0);
      Check_Copy(copy);
      // Sums of a file another program changed meanwhile say nothing of the drive.
      if (sums_.Size() == size && Stamp_Of_Open_File(source.Get(), source_path_) == figures_.stamp) {
        figures_.chunk_sums = sums_.Sums();
      }
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
    return figures_;
  }

 private:
  Unique_Fd Open_Source() { return Open_Regular_File(slot_.folder.Get(), name_, true, source_path_); }

  // Keeps the copy in the journal before it has its name, where the volume
  // needs it. Where the volume keeps no marks the journal is all that tells
  // a leftover of it from a user's file, and a copy it cannot keep is not
  // made.
  void Journal_Copy(std::uint64_t size) {
    const Copy_Volume& volume = *slot_.volume;
    if (!volume.abilities.Copies_Journaled()) return;
    const auto beside = [&](const std::string& name) {
      return name.empty() ? std::string() : volume.Relative(slot_.folder_path + "/" + name);
    };
    entry_ = Copy_Entry{.volume = volume.identity,
                        .path = volume.Relative(slot_.path),
                        .making = beside(slot_.plan.making),
                        .removing = beside(slot_.plan.removing),
                        .instance = std::string(),
                        .token = slot_.plan.token,
                        .size = size,
                        .time_token = slot_.plan.time_token,
                        .created = static_cast<std::int64_t>(std::time(nullptr)),
                        .inode = 0};
    try {
      entry_.instance = slot_.journal->Instance();
      slot_.journal->Add(entry_);
      slot_.journaled = true;
    } catch (const Check_Error& error) {
      if (!volume.abilities.marks) {
        throw Check_Error(slot_.path, "cannot keep track of the copy: " + error.Reason(), Failure_Kind::Other);
      }
    }
  }

  // Creates the copy where nothing was, or where a leftover of this
  // program's was, and puts it in the slot, so that even a partial copy is
  // removed whichever thread ends up removing it.
  int Create() {
    const int folder = slot_.folder.Get();
    const Volume_Abilities& abilities = slot_.volume->abilities;
    Unique_Fd copy = Create_Own_File(folder, slot_.name, slot_.path, abilities, slot_.plan);
    if (!copy.Valid() &&
        Remove_If_Own(folder, slot_.name, slot_.path, *slot_.volume, *slot_.journal, slot_.plan.token) ==
            Leftover::Removed) {
      copy = Create_Own_File(folder, slot_.name, slot_.path, abilities, slot_.plan);
    }
    if (!copy.Valid()) throw Check_Error(slot_.path, "the copy's name is taken", Failure_Kind::Name_Taken);
    // Where the inode number is all that tells the copy apart, the journal
    // learns it too.
    struct stat made {};
    if (slot_.journaled && !abilities.marks && abilities.stable_inodes && Calls().status(copy.Get(), &made) == 0) {
      entry_.inode = made.st_ino;
      try {
        slot_.journal->Add(entry_);
      } catch (const Check_Error&) {
        // The entry as first kept still proves the copy by its size and times.
      }
    }
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
  // keep the copy going, and one that another program shrinks ends it early.
  // Each window is sent to the drive as soon as it is written, and the one
  // before it is waited for, so that writing overlaps flushing. What is read
  // is summed as it passes, for the read-back.
  void Copy_Bytes(int source, std::uint64_t size, int copy) {
    std::uint64_t done = 0;
    std::uint64_t window_start = 0;
    std::uint64_t settled = 0;  // written to the drive and out of the cache
    std::uint64_t synced = 0;   // made lasting by the drive
    while (done < size) {
      if (stop_.stop_requested()) throw Check_Error(slot_.path, "stopped as the program ends");
      const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, Buffer_Size));
      const ssize_t got = Timed(figures_.read_time, [&] {
        return Retry_Interrupted([&] {
          return hooks_.read_source ? hooks_.read_source(source, buffer_, wanted) : read(source, buffer_, wanted);
        });
      });
      if (got < 0) throw Error_From_Errno(source_path_, "cannot read", errno, Failure_Kind::Read);
      if (got == 0) {
        Check_Ended(source, done, size);
        break;
      }
      sums_.Add({buffer_, static_cast<std::size_t>(got)});
      Timed(figures_.write_time, [&] { Write_All(copy, buffer_, static_cast<std::size_t>(got), slot_.path, hooks_); });
      done += static_cast<std::uint64_t>(got);
      figures_.bytes_read = figures_.bytes_written = done;
      if (done - window_start < Flush_Window) continue;
      Timed(figures_.write_time, [&] { Write_Back(copy, window_start, done - window_start, false, slot_.path); });
      if (window_start > settled) {
        Timed(figures_.write_time, [&] { Write_Back(copy, settled, window_start - settled, true, slot_.path); });
        Drop_Cached_Pages(copy, settled, window_start - settled);
        Drop_Cached_Pages(source, settled, window_start - settled);
        settled = window_start;
      }
      window_start = done;
      if (settled - synced >= Sync_Interval) {
        Timed(figures_.write_time, [&] { Flush_To_Drive(copy, slot_.path, hooks_); });
        synced = settled;
      }
      Check_Room(slot_.folder.Get(), slot_.volume->abilities, size - done, slot_.path);
    }
  }

  // The source gave no more bytes at `done`, short of the size it had at
  // open. Another program that shortened it meanwhile left it no longer
  // than what was read, and what was read is then the whole file; else the
  // drive failed to give the rest.
  void Check_Ended(int source, std::uint64_t done, std::uint64_t size) const {
    struct stat status {};
    if (fstat(source, &status) != 0) throw Error_From_Errno(source_path_, "cannot read", errno, Failure_Kind::Read);
    if (static_cast<std::uint64_t>(status.st_size) > done) {
      throw Check_Error(source_path_,
                        "the file ended after " + std::to_string(done) + " of " + std::to_string(size) + " bytes",
                        Failure_Kind::Read);
    }
  }

  // Reads the flushed copy back from the drive and compares it with what
  // was read from the source.
  void Check_Copy(int copy) {
    sums_.Finish();
    if (hooks_.before_read_back) hooks_.before_read_back();
    const Copy_On_Drive on_drive{slot_.folder.Get(), slot_.name, copy, slot_.path};
    figures_.bytes_read_back = Timed(figures_.read_back_time, [&] {
      return Read_Back(on_drive, sums_, {buffer_, Buffer_Size}, stop_);
    });
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
  const Copier_Hooks& hooks_;
  std::stop_token stop_;
  Chunk_Sums sums_;
  Probe_Figures figures_;
  Copy_Entry entry_;
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
  Posix_Probe_Copier(Io_Worker& worker, Copier_Hooks hooks)
      : worker_(worker),
        journal_(std::make_shared<Copy_Journal>(State_Folder())),
        hooks_(std::make_shared<const Copier_Hooks>(std::move(hooks))),
        buffer_(static_cast<std::byte*>(std::aligned_alloc(Buffer_Alignment, Buffer_Size)), Free_Buffer{}) {
    if (!buffer_) throw std::bad_alloc();
  }

  ~Posix_Probe_Copier() override {
    if (current_) Let_Go(std::move(current_));
  }

  Probe_Figures Copy_File(Folder& folder, const std::string& name, const std::string& copy_name) override {
    if (current_) Let_Go(std::exchange(current_, nullptr));
    auto slot = std::make_shared<Copy_Slot>(Duplicate(folder), copy_name, folder.Path_Of(copy_name), folder.Path(),
                                            volumes_, journal_);
    current_ = slot;
    bool finished = false;
    const auto figures = std::make_shared<Probe_Figures>();
    try {
      finished = worker_.Run([slot, name, source_path = folder.Path_Of(name), buffer = buffer_, hooks = hooks_,
                              figures](std::stop_token stop) {
        *figures = Copy_Job(*slot, name, source_path, buffer.get(), *hooks, std::move(stop)).Run();
      });
    } catch (const Check_Error&) {
      // Only a copy that could not be removed stays for the delete.
      const std::lock_guard lock(slot->mutex);
      if (!slot->Exists()) current_.reset();
      throw;
    }
    if (!finished) End_With(std::move(slot));
    return *figures;
  }

  void Delete_Copy() override {
    const std::shared_ptr<Copy_Slot> slot = std::exchange(current_, nullptr);
    if (!slot) throw Check_Error(std::string(), "no copy was made");
    bool finished = false;
    try {
      finished = worker_.Run([slot](const std::stop_token& stop) { Delete_Job(*slot, stop); });
    } catch (const Check_Error& error) {
      // An I/O error of any step of the removal is the drive failing to delete.
      const bool drive_fault = error.Kind() == Failure_Kind::Read || error.Kind() == Failure_Kind::Write;
      throw drive_fault ? error.With_Kind(Failure_Kind::Delete) : error;
    }
    if (!finished) End_With(slot);
  }

  bool Remove_Leftover(Folder& folder, const std::string& name) override {
    struct Found {
      Unique_Fd folder;
      std::string folder_path;
      std::string name;
      std::string path;
      Leftover found = Leftover::Other;
    };
    auto leftover = std::make_shared<Found>(Found{Duplicate(folder), folder.Path(), name, folder.Path_Of(name)});
    const bool finished = worker_.Run([leftover, volumes = volumes_, journal = journal_](std::stop_token) {
      const auto volume = volumes->For(leftover->folder.Get(), leftover->folder_path);
      leftover->found = Remove_If_Own(leftover->folder.Get(), leftover->name, leftover->path, *volume, *journal);
    });
    if (!finished) throw Program_End{};
    return leftover->found != Leftover::Other;
  }

  std::string Know_Volume(Folder& root) override {
    struct Known {
      Unique_Fd folder;
      std::string path;
      std::string note;
    };
    auto known = std::make_shared<Known>(Known{Duplicate(root), root.Path(), std::string()});
    const bool finished = worker_.Run([known, volumes = volumes_, journal = journal_](std::stop_token) {
      const auto volume = volumes->For(known->folder.Get(), known->path);
      known->note = volume->note;
      const int removed = Remove_Journaled_Leftovers(*volume, *journal) + Remove_Check_Leftovers(known->folder.Get());
      if (removed > 0) {
        known->note += "; " + std::to_string(removed) + (removed == 1 ? " leftover copy" : " leftover copies") +
                       " of earlier runs removed";
      }
    });
    if (!finished) throw Program_End{};
    return known->note;
  }

 private:
  // The program is ending while the worker still has the copy: it goes now.
  [[noreturn]] void End_With(std::shared_ptr<Copy_Slot> slot) {
    current_.reset();
    Let_Go(std::move(slot));
    throw Program_End{};
  }

  // Has the copy removed on a thread of its own, whatever the worker is
  // doing with it: the worker may be stalled on the drive while it holds
  // the copy, and so may the removal, but this thread never waits for them.
  static void Let_Go(std::shared_ptr<Copy_Slot> slot) {
    slot->let_go = true;
    slot->ending = std::make_unique<Late_Removal>(slot->path);
    Run_On_Own_Thread([slot = std::move(slot)] {
      const std::lock_guard lock(slot->mutex);
      try {
        slot->Remove();
      } catch (const Check_Error& error) {
        // The program is ending and has no window left to say it in.
        std::cerr << "palvimo: " << Escaped_Text(error.Path()) << ": " << Escaped_Text(error.Reason()) << '\n';
      }
    });
  }

  Io_Worker& worker_;
  const std::shared_ptr<Copy_Journal> journal_;
  const std::shared_ptr<Copy_Volumes> volumes_ = std::make_shared<Copy_Volumes>();
  std::shared_ptr<const Copier_Hooks> hooks_;
  std::shared_ptr<std::byte> buffer_;
  std::shared_ptr<Copy_Slot> current_;
};

}  // namespace

std::unique_ptr<Probe_Copier> Make_Probe_Copier(Io_Worker& worker) {
  return std::make_unique<Posix_Probe_Copier>(worker, Copier_Hooks{});
}

std::unique_ptr<Probe_Copier> Make_Probe_Copier(Io_Worker& worker, Copier_Hooks hooks) {
  return std::make_unique<Posix_Probe_Copier>(worker, std::move(hooks));
}

}  // namespace palvimo
