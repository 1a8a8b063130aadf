#include "platform/posix_own_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "platform/check_error.h"
#include "platform/file_calls.h"
#include "platform/own_names.h"

namespace palvimo {

namespace {

// The extended attribute every copy this program makes carries, where the
// volume keeps them; its value is the copy's token.
constexpr char Mark_Attribute[] = "user.palvimo.probe";
constexpr mode_t Own_Mode = S_IRUSR | S_IWUSR;
// 2000-01-01 and the number of two-second steps to 2020-01-01.
constexpr std::int64_t Earliest_Time_Token = 946684800;
constexpr std::uint64_t Time_Tokens = (1577836800 - 946684800) / 2;

struct Hook_Slot {
  std::mutex mutex;
  Own_File_Hook hook;
};

Hook_Slot& Hook() {
  static Hook_Slot slot;
  return slot;
}

// The hook is called from a copy of it, so that a test may replace it while
// a step it stalls is still under way.
void At_Step(Own_File_Step step, int folder_fd, const std::string& name) {
  Own_File_Hook hook;
  {
    const std::lock_guard lock(Hook().mutex);
    hook = Hook().hook;
  }
  if (hook) hook(step, folder_fd, name);
}

// A step this file system or file does not offer: skipped, the copy is still
// made. EPERM is what FAT answers to a mode it cannot keep.
bool Is_Unsupported(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL || error == EROFS;
}

bool Same_File(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

struct stat Status_Of(int fd, const std::string& path) {
  struct stat status {};
  if (fstat(fd, &status) != 0) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
  return status;
}

// The status of a file held open, through the calls a test may stand in.
struct stat Held_Status(int fd, const std::string& path) {
  struct stat status {};
  if (Calls().status(fd, &status) != 0) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
  return status;
}

Unique_Fd Open_At(int folder_fd, const std::string& name, int flags, mode_t mode = 0) {
  return Unique_Fd(openat(folder_fd, name.c_str(), flags | O_CLOEXEC, mode));
}

Unique_Fd Open_Own_At(int folder_fd, const std::string& name, int flags, mode_t mode = 0) {
  return Unique_Fd(Calls().open_at(folder_fd, name.c_str(), flags | O_CLOEXEC, mode));
}

// Moves `from` to `to` in the same folder, failing with EEXIST rather than
// replacing a file there: by a rename that refuses to, or by a link, which
// does, then the old name unlinked. Where the volume offers neither, the
// name is looked at first and only a free one taken, which leaves a moment
// in which a file put there is replaced; it is the only way there is.
int Move_Refusing(int folder_fd, const std::string& from, const std::string& to, const Volume_Abilities& abilities) {
  const File_Calls& calls = Calls();
  if (abilities.no_replace_rename) return calls.rename_at(folder_fd, from.c_str(), folder_fd, to.c_str(), Rename_No_Replace);
  if (abilities.hard_links) {
    if (calls.link_at(folder_fd, from.c_str(), folder_fd, to.c_str(), 0) != 0) return -1;
    calls.unlink_at(folder_fd, from.c_str(), 0);
    return 0;
  }
  struct stat taken {};
  if (calls.status_at(folder_fd, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return -1;
  }
  if (errno != ENOENT) return -1;
  return calls.rename_at(folder_fd, from.c_str(), folder_fd, to.c_str(), 0);
}

// Moves `from` to the private name `to`, which no other program uses.
int Move_To_Private_Name(int folder_fd, const std::string& from, const std::string& to,
                         const Volume_Abilities& abilities) {
  const unsigned flags = abilities.no_replace_rename ? Rename_No_Replace : 0;
  return Calls().rename_at(folder_fd, from.c_str(), folder_fd, to.c_str(), flags);
}

// A name in the copy's folder that no other file has or is given: this
// process's own, counted.
std::string Private_Name(std::string_view prefix) {
  static std::atomic<unsigned long> count{0};
  return std::string(prefix) + std::to_string(getpid()) + "-" + std::to_string(count.fetch_add(1));
}

std::string Token_Text(std::uint64_t token) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(token));
  return text;
}

// Where the file system keeps them, a lock of the open file description on
// the whole file, which lasts while any descriptor of that description is
// open: the copy's own descriptor, which this instance holds until the copy
// is gone, or until it ends, whatever way it ends.
[[maybe_unused]] struct flock Whole_File_Lock() {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return lock;
}

// Whether the step is worth trying: offered, or not known not to be.
bool Try_Step(const Volume_Abilities& abilities, bool offered) { return offered || !abilities.checked; }

// Gives the new file its mode, mark, lock and times; 0, or why it could
// not. What the volume does not offer is skipped.
int Mark(int fd, const Volume_Abilities& abilities, const Own_File_Plan& plan) {
  const File_Calls& calls = Calls();
  // The mode asked for at the create is narrowed by the umask, which may
  // take the owner's read bit, without which the copy could not be checked
  // before it is deleted.
  if (Try_Step(abilities, abilities.mode_change) && calls.change_mode(fd, Own_Mode) != 0 &&
      !Is_Unsupported(errno) && errno != EPERM) {
    return errno;
  }
  if (Try_Step(abilities, abilities.marks)) {
    const std::string token = Token_Text(plan.token);
    if (calls.set_attribute(fd, Mark_Attribute, token.data(), token.size(), 0) != 0 && !Is_Unsupported(errno)) {
      return errno;
    }
  }
#ifdef F_OFD_SETLK
  // A volume that keeps no such locks leaves the copy unheld: the journal's
  // lock of this instance tells other instances that it runs.
  if (Try_Step(abilities, abilities.file_locks)) {
    struct flock lock = Whole_File_Lock();
    calls.lock(fd, F_OFD_SETLK, &lock);
  }
#endif
  Stamp_Own_File(fd, plan);
  return 0;
}

// Whether `found`, the status of what is at `name`, is the copy held as
// `own_fd`. Without inode numbers to go by, it must carry the copy's token
// in its mark where the volume keeps marks, and have the copy's size and
// times: with the time token, which no other file has, where it keeps none.
bool Is_Own_Copy(int folder_fd, const std::string& name, const struct stat& found, const struct stat& own,
                 const Volume_Abilities& abilities, const Own_File_Plan& plan) {
  if (abilities.stable_inodes) return Same_File(found, own);
  if (!S_ISREG(found.st_mode) || found.st_dev != own.st_dev || found.st_size != own.st_size ||
      found.st_mtim.tv_sec != own.st_mtim.tv_sec || found.st_mtim.tv_nsec != own.st_mtim.tv_nsec) {
    return false;
  }
  if (!abilities.marks || plan.token == 0) return true;
  const Unique_Fd fd = Open_Own_At(folder_fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  return fd.Valid() && Own_Mark_Token(fd.Get()) == plan.token;
}

#ifdef __linux__
// The copy made unnamed in its folder, marked there, then linked to its name,
// which the link refuses when it is taken: there is no moment when the copy
// has a name and no mark. Nothing where the file system, against what the
// volume's check found, makes no unnamed files or cannot link one.
std::optional<Unique_Fd> Create_Unnamed(int folder_fd, const std::string& name, const std::string& path,
                                        const Volume_Abilities& abilities, const Own_File_Plan& plan) {
  Unique_Fd fd = Open_Own_At(folder_fd, ".", O_WRONLY | O_TMPFILE | O_NOCTTY, Own_Mode);
  if (!fd.Valid()) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return std::nullopt;
    throw Error_From_Errno(path, "cannot create the copy", errno, Failure_Kind::Write);
  }
  At_Step(Own_File_Step::Created, folder_fd, std::string());
  // Closing an unnamed file frees it: a failure leaves nothing behind.
  if (const int error = Mark(fd.Get(), abilities, plan)) {
    throw Error_From_Errno(path, "cannot mark the copy", error, Failure_Kind::Write);
  }
  const std::string same_inode = "/proc/self/fd/" + std::to_string(fd.Get());
  const File_Calls& calls = Calls();
  if (calls.link_at(AT_FDCWD, same_inode.c_str(), folder_fd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return fd;
  // Without /proc the descriptor itself is linked, which needs a privilege.
  if (errno == ENOENT && calls.link_at(fd.Get(), "", folder_fd, name.c_str(), AT_EMPTY_PATH) == 0) return fd;
  if (errno == EEXIST) return Unique_Fd();
  if (errno == EPERM || errno == ENOENT || errno == EOPNOTSUPP) return std::nullopt;
  throw Error_From_Errno(path, "cannot create the copy", errno, Failure_Kind::Write);
}
#endif

constexpr int Create_Flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY;

// The copy made and marked under its private name, which the walk never
// probes, then moved to its name, never over a file there.
Unique_Fd Create_Under_Private_Name(int folder_fd, const std::string& name, const std::string& path,
                                    const Volume_Abilities& abilities, const Own_File_Plan& plan) {
  Unique_Fd fd = Open_Own_At(folder_fd, plan.making, Create_Flags, Own_Mode);
  if (!fd.Valid()) throw Error_From_Errno(path, "cannot create the copy", errno, Failure_Kind::Write);
  At_Step(Own_File_Step::Created, folder_fd, plan.making);
  int error = Mark(fd.Get(), abilities, plan);
  if (error == 0 && Move_Refusing(folder_fd, plan.making, name, abilities) == 0) return fd;
  if (error == 0) error = errno;
  Calls().unlink_at(folder_fd, plan.making.c_str(), 0);
  if (error == EEXIST) return Unique_Fd();
  throw Error_From_Errno(path, "cannot create the copy", error, Failure_Kind::Write);
}

// The copy made at its name, which it keeps until it is removed, and marked
// there: where the volume can neither make unnamed files nor refuse to
// replace one, or writes nothing through a descriptor once its file has
// lost the name it was made under.
Unique_Fd Create_At_Name(int folder_fd, const std::string& name, const std::string& path,
                         const Volume_Abilities& abilities, const Own_File_Plan& plan) {
  Unique_Fd fd = Open_Own_At(folder_fd, name, Create_Flags, Own_Mode);
  if (!fd.Valid()) {
    if (errno == EEXIST) return fd;
    throw Error_From_Errno(path, "cannot create the copy", errno, Failure_Kind::Write);
  }
  At_Step(Own_File_Step::Created, folder_fd, name);
  if (const int error = Mark(fd.Get(), abilities, plan)) {
    Remove_Own_File(folder_fd, name, fd.Get(), path, abilities, plan);
    throw Error_From_Errno(path, "cannot mark the copy", error, Failure_Kind::Write);
  }
  return fd;
}

// Puts a stranger's file, set aside at `aside`, back at its name `name`, or
// beside it at a visible name when that is taken by now. Where it is then.
std::string Put_Back(int folder_fd, const std::string& aside, const std::string& name,
                     const Volume_Abilities& abilities) {
  if (Move_Refusing(folder_fd, aside, name, abilities) == 0) return name;
  for (int n = 1; n <= 100; ++n) {
    const std::string visible = name + std::string(Restored_Infix) + std::to_string(n);
    if (Move_Refusing(folder_fd, aside, visible, abilities) == 0) return visible;
    if (errno != EEXIST) break;
  }
  return aside;
}

}  // namespace

Unique_Fd Open_Regular_File(int folder_fd, const std::string& name, bool follow_links,
                            const std::string& path) {
  const int follow = follow_links ? 0 : O_NOFOLLOW;
  // Where the name itself has to be opened again, O_NONBLOCK and O_NOCTTY
  // make anything but a regular file fail there instead of hanging.
  constexpr int Read_Flags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
#ifdef __linux__
  // A handle that opens nothing names the inode; it is checked, then that
  // very inode is opened for reading through the process's descriptor table.
  const Unique_Fd handle = Open_At(folder_fd, name, O_PATH | follow);
  if (!handle.Valid()) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
  const struct stat named = Status_Of(handle.Get(), path);
#else
  struct stat named {};
  if (fstatat(folder_fd, name.c_str(), &named, follow_links ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
    throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
#endif
  if (!S_ISREG(named.st_mode)) throw Check_Error(path, "not a regular file");
  if (named.st_dev != Status_Of(folder_fd, path).st_dev) throw Not_On_Drive(path);
#ifdef __linux__
  const std::string same_inode = "/proc/self/fd/" + std::to_string(handle.Get());
  Unique_Fd fd(open(same_inode.c_str(), O_RDONLY | O_CLOEXEC));
  // Without /proc (a bare chroot) the name is opened again, and what opened
  // must be the inode checked.
  if (!fd.Valid() && errno == ENOENT) fd = Open_At(folder_fd, name, Read_Flags | follow);
#else
  Unique_Fd fd = Open_At(folder_fd, name, Read_Flags | follow);
#endif
  if (!fd.Valid()) throw Error_From_Errno(path, "cannot open", errno, Failure_Kind::Read);
  if (!Same_File(Status_Of(fd.Get(), path), named)) throw Check_Error(path, "replaced while it was opened", Failure_Kind::Vanished);
  return fd;
}

Own_File_Plan Plan_Own_File(const Volume_Abilities& abilities) {
  // Drawn afresh from the system each time: a generator's state would be
  // shared with every process forked from this one. The source is opened
  // once a thread; opening it costs more than the draws.
  thread_local std::random_device random;
  const auto draw = [] { return (std::uint64_t{random()} << 32) ^ random(); };
  Own_File_Plan plan;
  while (plan.token == 0) plan.token = draw();
  // Two-second steps from 2000 to 2020: what FAT keeps of a time.
  if (!abilities.marks || !abilities.stable_inodes) {
    plan.time_token = Earliest_Time_Token + 2 * static_cast<std::int64_t>(draw() % Time_Tokens);
  }
  const bool moves_safely = abilities.no_replace_rename || (abilities.hard_links && abilities.writes_after_unlink);
  if (!abilities.unnamed_files && moves_safely) plan.making = Private_Name(Creating_Prefix);
  plan.removing = Private_Name(Removing_Prefix);
  return plan;
}

Unique_Fd Create_Own_File(int folder_fd, const std::string& name, const std::string& path,
                          const Volume_Abilities& abilities, const Own_File_Plan& plan) {
#ifdef __linux__
  if (abilities.unnamed_files) {
    if (std::optional<Unique_Fd> made = Create_Unnamed(folder_fd, name, path, abilities, plan)) {
      return std::move(*made);
    }
  }
#endif
  if (!plan.making.empty()) return Create_Under_Private_Name(folder_fd, name, path, abilities, plan);
  return Create_At_Name(folder_fd, name, path, abilities, plan);
}

void Stamp_Own_File(int fd, const Own_File_Plan& plan) {
  if (plan.time_token == 0) return;
  struct timespec times[2] = {};
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(plan.time_token);
  Calls().set_times(fd, times);
}

bool Has_Own_Mark(int fd, const std::string& path) {
  if (Calls().get_attribute(fd, Mark_Attribute, nullptr, 0) >= 0) return true;
  if (errno == ENODATA || Is_Unsupported(errno)) return false;
  throw Error_From_Errno(path, "cannot read the mark", errno, Failure_Kind::Read);
}

std::optional<std::uint64_t> Own_Mark_Token(int fd) {
  char value[32] = {};
  const ssize_t size = Calls().get_attribute(fd, Mark_Attribute, value, sizeof value - 1);
  if (size != 16) return std::nullopt;
  std::uint64_t token = 0;
  const auto [end, error] = std::from_chars(value, value + size, token, 16);
  if (error != std::errc() || end != value + size || token == 0) return std::nullopt;
  return token;
}

bool Held_By_Live_Instance([[maybe_unused]] int fd) {
#ifdef F_OFD_GETLK
  struct flock lock = Whole_File_Lock();
  return Calls().lock(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
#else
  return false;
#endif
}

void Remove_Own_File(int folder_fd, const std::string& name, int own_fd, const std::string& path,
                     const Volume_Abilities& abilities, const Own_File_Plan& plan) {
  const File_Calls& calls = Calls();
  const bool can_refuse = abilities.no_replace_rename || abilities.hard_links;
  if (!can_refuse) {
    // A stranger set aside here might never find its way back: it is left
    // where it is.
    struct stat at_name {};
    if (calls.status_at(folder_fd, name.c_str(), &at_name, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) throw Check_Error(path, "the copy is gone", Failure_Kind::Vanished);
      throw Error_From_Errno(path, "cannot delete the copy", errno, Failure_Kind::Delete);
    }
    if (!Is_Own_Copy(folder_fd, name, at_name, Held_Status(own_fd, path), abilities, plan)) {
      throw Check_Error(path, "the copy was replaced by another file, which is left at its name",
                        Failure_Kind::Name_Taken);
    }
  }
  const std::string aside = plan.removing.empty() ? Private_Name(Removing_Prefix) : plan.removing;
  if (Move_To_Private_Name(folder_fd, name, aside, abilities) != 0) {
    if (errno == ENOENT) throw Check_Error(path, "the copy is gone", Failure_Kind::Vanished);
    throw Error_From_Errno(path, "cannot delete the copy", errno, Failure_Kind::Delete);
  }
  At_Step(Own_File_Step::Set_Aside, folder_fd, aside);
  struct stat found {};
  const bool own_found = calls.status_at(folder_fd, aside.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 &&
                         Is_Own_Copy(folder_fd, aside, found, Held_Status(own_fd, path), abilities, plan);
  if (own_found) {
    if (calls.unlink_at(folder_fd, aside.c_str(), 0) == 0) return;
    const int error = errno;
    // Back at its own name, the copy is where a second try and the user
    // expect it; should even that fail, the walk finds it at its private name.
    const bool moved_back = Move_Refusing(folder_fd, aside, name, abilities) == 0;
    const std::string action = moved_back ? "cannot delete the copy" : "cannot delete the copy, left as " + aside;
    throw Error_From_Errno(path, action.c_str(), error, Failure_Kind::Delete);
  }
  // Another file took the copy's name between the look and the move.
  const std::string now_at = Put_Back(folder_fd, aside, name, abilities);
  if (now_at == name) {
    throw Check_Error(path, "the copy was replaced by another file, which is left at its name",
                      Failure_Kind::Name_Taken);
  }
  const std::string where = now_at == aside ? "could not be moved back and is now " : "is now ";
  throw Check_Error(path,
                    "the copy was replaced by another file, which was set aside and, as yet another file took its "
                    "name meanwhile, " + where + now_at,
                    Failure_Kind::Name_Taken);
}

void Set_Own_File_Hook(Own_File_Hook hook) {
  const std::lock_guard lock(Hook().mutex);
  Hook().hook = std::move(hook);
}

}  // namespace palvimo
